// Reading a value from the "latest" subkey of a key: the subkey with the
// greatest name, as products keep one subkey per version. -regl orders names
// as plain bytes; the detections order them as versions, so that 10.0 comes
// after 9.0 and the newest installation wins.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "registry/reg_value.h"

namespace qh {

// Longest subkey name the enumeration accepts.
inline constexpr std::size_t kMaxSubkeyName = 512;
// The enumeration gives up after this many failed answers in a row, so a key
// deleted during the walk cannot keep it asking for ever.
inline constexpr int kMaxFailedEnumAnswers = 32;

enum class NameOrder {
    // Each byte unsigned, the first difference decides, a proper prefix is
    // the smaller: 9.0 after 10.0.
    bytes,
    // Runs of ASCII digits against each other by value, leading zeros aside
    // (on equal values the shorter run first); every other byte unsigned;
    // a proper prefix the smaller: 1.8.0_301 after 1.8.0_45, 10.02.1 after
    // 9.56.1. Only identical names are equal, so the order is total.
    version,
};

// The names of the subkeys of `key` that `accepts` takes (every one when it
// is not set), in the order the enumeration gives them; a name longer than
// kMaxSubkeyName is passed over.
std::vector<std::string> reg_subkey_names(Key key,
                                          bool (*accepts)(std::string_view name) = nullptr);

class ChangePreview;
// reg_subkey_names of the key at `root`\`subkey` as the changes of the
// preview would leave it; nothing when it is not there.
std::optional<std::vector<std::string>> reg_subkey_names_previewed(
    const ChangePreview& preview, Key root, std::string_view subkey,
    bool (*accepts)(std::string_view name) = nullptr);

// True when `candidate` sorts after `current` in the order.
bool latest_name_greater(std::string_view candidate, std::string_view current,
                         NameOrder order = NameOrder::bytes);

// How one lookup looks; the defaults are those of -regl.
struct LatestLookup {
    NameOrder order = NameOrder::bytes;
    // The view the key is opened in; the subkeys stay in it.
    View view = View::native;
    // When not empty, the value is read from this subkey of the latest
    // subkey ("hotspot\MSI"), and a latest subkey without it gives 2.
    std::string_view below = {};
    // When set, only subkey names it accepts take part.
    bool (*accepts)(std::string_view name) = nullptr;
};

// Codes of reg_read_latest.
inline constexpr int kLatestValueNotRead = 1;     // the latest subkey opened, its value not read
inline constexpr int kLatestSubkeyNotOpened = 2;  // no subkey of the latest name (or of `below`)
inline constexpr int kLatestKeyNotReadable = 11;  // no root recognised, or the key not opened
inline constexpr int kLatestNoSubkey = 12;        // no subkey, and no name on entry

// `latest_name` carries the greatest name found so far in and out, so that
// lookups can be chained over several keys. 0 read, or one of the codes
// above. `out` changes only on 0. A failure, when given, receives the reason
// of a non-zero code and the system's status of the call that failed.
// Under a preview, the native view is read as its changes would leave it.
int reg_read_latest(RegValue& out, std::string& latest_name, std::string_view key_path,
                    ValueName name, Failure* failure = nullptr, const LatestLookup& lookup = {},
                    ChangeSession* session = nullptr);

}  // namespace qh
