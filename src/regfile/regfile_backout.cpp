// Reads a journal's records and what the run left, compares that with the
// registry, and imports the records whose things are as the run left them.
#include "regfile/regfile_backout.h"

#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/platform.h"
#include "regfile/regfile.h"
#include "regfile/regfile_reader.h"
#include "regfile/utf8.h"
#include "registry/reg_journal.h"
#include "registry/reg_lines.h"
#include "registry/reg_reason.h"

namespace qh {

namespace {

constexpr std::string_view kWasValue = ";was value ";
constexpr std::string_view kWasKey = ";was key ";
constexpr std::string_view kLeftValue = ";left value ";
constexpr std::string_view kLeftKey = ";left key ";
constexpr std::string_view kLeftTree = ";left tree ";
// Ends the id of what a key holds, after the key's id.
constexpr char16_t kTreeMark = u'\1';
constexpr std::string_view kTakenBack = ";taken back";
constexpr std::string_view kWasFile = ";was file ";
constexpr std::string_view kLeftFile = ";left file ";

// A file the run wrote, and where its former content is kept.
struct FileRecord {
    std::string path;
    std::optional<std::string> kept;  // nothing: the file was not there
};

// One record: what it puts back, and the thing it is about.
struct Record {
    std::u16string key_id;
    std::u16string value_id;  // empty for a key's record
    std::vector<std::string> lines;
};

// What the run left of one thing.
struct Left {
    std::string label;                 // for the reason: the key, or the value and its key
    std::string key;                   // the key's full name
    std::optional<std::string> value;  // the value's name, for a value
    bool tree = false;                 // what the key holds, rather than the key
    std::string state;                 // change_state's text, or "present" / "absent" of a key
    std::size_t order = 0;             // of its last record in the journal
    std::size_t deleted = 0;           // of the last record of a key that says "absent"
};

struct Journal {
    bool take_back = false;
    bool taken_back = false;
    std::vector<Record> records;
    std::vector<std::u16string> left_order;
    std::unordered_map<std::u16string, Left> left;
    std::vector<FileRecord> files;
    std::unordered_map<std::string, std::string> files_left;  // path: state
};

std::u16string fold(std::u16string text) {
    for (char16_t& unit : text)
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + (u'a' - u'A'));
    return text;
}

std::u16string value_id(std::u16string_view key_id, std::string_view name) {
    std::u16string id(key_id);
    id.append(1, u'\0').append(fold(utf8_to_utf16(name)));
    return id;
}

// Two quoted texts after `prefix`, the second optional, and the rest.
struct Quoted {
    std::string first;
    std::optional<std::string> second;
    std::string rest;
};
std::optional<Quoted> quoted_after(std::string_view line, std::size_t pos, bool two) {
    Quoted out;
    const auto end = regfile_read_quoted(line, pos, out.first);
    if (!end) return std::nullopt;
    std::size_t at = *end;
    if (two) {
        std::string second;
        const auto second_end = regfile_read_quoted(line, at + 1, second);
        if (!second_end) return std::nullopt;
        out.second = std::move(second);
        at = *second_end;
    }
    if (at < line.size()) out.rest = std::string(line.substr(at + 1));
    return out;
}

Journal parse(RegfileReader& reader) {
    Journal journal;
    std::string line;
    // The record being read, as an index: GCC's -Os build misreads an
    // optional index here as used uninitialized.
    constexpr std::size_t kNoRecord = static_cast<std::size_t>(-1);
    std::size_t current = kNoRecord;
    std::size_t order = 0;
    const std::string heading = [] {
        std::string text = ";";
        utf8_append(kBackoutHeading, text);
        return text;
    }();
    while (reader.read_line(line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        const std::string_view text = line;
        if (text.starts_with(';')) {
            if (text.starts_with(heading)) journal.take_back = true;
            if (text.starts_with(kTakenBack)) journal.taken_back = true;
            const bool was_value = text.starts_with(kWasValue);
            if (was_value || text.starts_with(kWasKey)) {
                const std::size_t at = (was_value ? kWasValue : kWasKey).size();
                const auto names = quoted_after(text, at, was_value);
                current = kNoRecord;
                if (!names) continue;
                Record record;
                record.key_id = fold(utf8_to_utf16(names->first));
                if (names->second) record.value_id = value_id(record.key_id, *names->second);
                journal.records.push_back(std::move(record));
                current = journal.records.size() - 1;
                continue;
            }
            if (text.starts_with(kWasFile) || text.starts_with(kLeftFile)) {
                const bool was = text.starts_with(kWasFile);
                const auto names = quoted_after(text, (was ? kWasFile : kLeftFile).size(), false);
                if (!names) continue;
                if (!was) {
                    journal.files_left[names->first] = names->rest;
                } else {
                    std::string kept;
                    if (!regfile_read_quoted(names->rest, 0, kept))
                        journal.files.push_back({names->first, std::nullopt});
                    else
                        journal.files.push_back({names->first, kept});
                }
                continue;
            }
            const bool left_value = text.starts_with(kLeftValue);
            const bool left_tree = text.starts_with(kLeftTree);
            if (left_value || left_tree || text.starts_with(kLeftKey)) {
                const std::size_t at = (left_value  ? kLeftValue
                                        : left_tree ? kLeftTree
                                                    : kLeftKey)
                                           .size();
                const auto names = quoted_after(text, at, left_value);
                if (!names) continue;
                const std::u16string key_id = fold(utf8_to_utf16(names->first));
                std::u16string id = names->second ? value_id(key_id, *names->second) : key_id;
                if (left_tree) id += kTreeMark;
                Left left{names->second ? "the value \"" + *names->second + "\" of " + names->first
                          : left_tree   ? "what " + names->first + " holds"
                                        : names->first,
                          names->first,
                          names->second,
                          left_tree,
                          names->rest,
                          ++order};
                if (!journal.left.contains(id)) journal.left_order.push_back(id);
                Left& entry = journal.left[id];
                left.deleted = !left.value && !left.tree && left.state == "absent" ? left.order
                                                                                   : entry.deleted;
                entry = std::move(left);
            }
            continue;
        }
        if (current != kNoRecord) journal.records[current].lines.push_back(line);
    }
    return journal;
}

// Whether the thing is now as the run left it, `state`.
bool as_left(const Left& left, std::string_view state) {
    const std::optional<KeyPath> path = reg_parse_path(left.key);
    if (!path) return false;
    const std::u16string subkey = utf8_to_utf16(path->subkey);
    Key key;
    const long opened = platform::reg_open_key_wide(path->root, subkey, key);
    if (left.tree) {
        if (opened == platform::kErrorSuccess) platform::reg_close_key(key);
        const std::optional<std::u16string> now = change_tree_state_of(path->root, subkey);
        std::string text;
        if (now) utf8_append(*now, text);
        return now && text == state;
    }
    if (!left.value) {
        if (opened == platform::kErrorSuccess) platform::reg_close_key(key);
        return (opened == platform::kErrorSuccess ? "present" : "absent") == state;
    }
    std::optional<StoredValue> now;
    if (opened == platform::kErrorSuccess) {
        const std::u16string name = utf8_to_utf16(*left.value);
        StoredValue value;
        constexpr std::size_t kAnySize = 64 * 1024 * 1024;
        const long status = platform::reg_query_value_wide(
            key, name.empty() ? platform::WideName() : platform::WideName(name), value.type,
            value.data, kAnySize);
        platform::reg_close_key(key);
        if (status == platform::kErrorSuccess) now = std::move(value);
    }
    std::string now_state;
    utf8_append(now ? change_state(now->view()) : change_state(std::nullopt), now_state);
    return now_state == state;
}

bool at_or_below(std::u16string_view id, std::u16string_view key_id) {
    return id.starts_with(key_id) && (id.size() == key_id.size() || id[key_id.size()] == u'\\' ||
                                      id[key_id.size()] == u'\0' || id[key_id.size()] == kTreeMark);
}

void append_le(std::string& bytes, std::u16string_view text) {
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
}

// 0 when nothing changed since the run; else kBackoutPartly, naming the
// first thing that did and how many more.
int partly(Failure* failure, const std::string& first, std::size_t count) {
    if (count == 0) return 0;
    std::string reason = first + " was changed since that run, and is left as it is";
    if (count > 1) reason += " (and " + std::to_string(count - 1) + " more)";
    return fail(failure, kBackoutPartly, reason);
}

}  // namespace

int regfile_backout(ChangeSession& session, std::vector<std::string>& restored_keys,
                    Failure* failure) {
    if (!session.folder())
        return fail(failure, kBackoutNothing,
                    "QUILLHAVEN_JOURNAL is off, so no run was recorded to be taken back");
    const std::string& folder = *session.folder();
    if (folder.empty())
        return fail(failure, kBackoutNothing,
                    "no folder for the journal is known (LOCALAPPDATA is not set)");
    const std::string prefix = folder.ends_with('\\') ? folder : folder + "\\";
    for (const std::string& name : journal_names(folder)) {
        if (name == session.journal_name()) continue;
        const std::string path = prefix + name;
        bool exists = false;
        std::optional<std::string> bytes = change_file_content(path, exists);
        if (!bytes || !exists) continue;
        RegfileReader reader(std::move(*bytes));
        const Journal journal = parse(reader);
        if (journal.take_back || journal.taken_back) continue;

        std::string empty_tree;
        utf8_append(change_tree_state(0, 0), empty_tree);
        // What changed since stays; a key's record would undo it too.
        std::vector<std::u16string> changed;
        std::string first_changed;
        for (const std::u16string& id : journal.left_order) {
            const Left& left = journal.left.at(id);
            // A key the run deleted after it took this thing with it; what a
            // key holds, noted later, tells of it instead.
            std::string_view state = left.state;
            bool told_later = false;
            for (const auto& [other_id, other] : journal.left) {
                if (other_id == id || other.value) continue;
                const std::u16string_view key_id =
                    other.tree ? std::u16string_view(other_id).substr(0, other_id.size() - 1)
                               : std::u16string_view(other_id);
                if (!at_or_below(id, key_id)) continue;
                if (other.tree && other.order > left.order) told_later = true;
                if (!other.tree && other.deleted > left.order)
                    state = left.tree ? empty_tree : "absent";
            }
            if (told_later || as_left(left, state)) continue;
            if (changed.empty()) first_changed = left.label;
            changed.push_back(id);
        }
        const auto skipped = [&changed](const Record& record) {
            for (const std::u16string& id : changed)
                if (record.value_id.empty() ? at_or_below(id, record.key_id)
                                            : id == record.value_id)
                    return true;
            return false;
        };
        std::u16string text;
        regfile_append_header(text);
        std::unordered_set<std::string> keys;
        for (const Record& record : journal.records) {
            if (skipped(record)) continue;
            for (const std::string& line : record.lines) {
                text += utf8_to_utf16(line);
                text += u"\r\n";
                if (!record.value_id.empty() && line.starts_with('[')) keys.insert(line);
            }
            text += u"\r\n";
        }
        std::u16string heading(kBackoutHeading);
        heading += utf8_to_utf16(name);
        session.set_heading(std::move(heading));
        std::string file_bytes = "\xff\xfe";
        append_le(file_bytes, text);
        if (const int result = regfile_apply_bytes(std::move(file_bytes), path, failure, &session);
            result != 0)
            return result;
        for (const std::string& line : keys)
            restored_keys.push_back(line.substr(1, line.find(']') - 1));
        // C:\AUTOEXEC.BAT, as it was before the run, when nothing wrote it since.
        for (const FileRecord& file : journal.files) {
            const auto left = journal.files_left.find(file.path);
            std::string now;
            utf8_append(change_file_state(file.path), now);
            if (left == journal.files_left.end() || left->second != now) {
                if (changed.empty()) first_changed = file.path;
                changed.push_back(utf8_to_utf16(file.path));
                continue;
            }
            bool exists = false;
            const std::optional<std::string> former =
                file.kept ? change_file_content(prefix + *file.kept, exists) : std::string();
            if (!former || (file.kept && !exists))
                return fail(failure, kBackoutPartly,
                            "the former " + file.path + " kept beside the journal cannot be read");
            if (ChangePreview* const preview = session.preview()) {
                preview->line("would put back " + file.path + " as it was before that run");
                continue;
            }
            if (const RegResult recorded = session.before_file(file.path); !recorded.ok())
                return fail(failure, kBackoutPartly, session.failure());
            const long status = file.kept ? platform::file_replace(file.path, *former, false)
                                          : platform::file_delete(file.path);
            session.after_file(file.path);
            if (status != platform::kErrorSuccess)
                return fail(failure, kBackoutPartly,
                            file.path + " cannot be put back: " + reg_status_clause(status),
                            status);
        }

        // A preview marks nothing.
        if (session.preview()) return partly(failure, first_changed, changed.size());
        std::u16string mark = u";taken back by ";
        mark += session.journal_name().empty() ? u"a run that found nothing to change"
                                               : utf8_to_utf16(session.journal_name());
        mark += u"\r\n";
        journal_append_to(path, mark);
        return partly(failure, first_changed, changed.size());
    }
    return fail(failure, kBackoutNothing, "no run is left to take back in " + folder);
}

}  // namespace qh
