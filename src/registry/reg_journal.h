// A run's journal on the disk: one registry file per run that changed
// something, in a folder of its own, named so that the names sort in the
// order of the runs and no two runs ever share one.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qh {

// How many journals a folder keeps: the newest, counted by their sequence.
inline constexpr std::size_t kJournalsKept = 20;
// Digits of the sequence that starts each name, so that names sort as numbers.
inline constexpr int kJournalSequenceDigits = 6;

// Where the journals go: QUILLHAVEN_JOURNAL names a folder, or is "off";
// otherwise the Quillhaven\journal folder of the user's local application
// data. Nothing when journals are off; an empty folder when none can be had.
std::optional<std::string> journal_folder_from_environment();

// The journal names in `folder` ("000012-20261207-224305-4711.reg"), newest
// (highest sequence) first; other files are left out.
std::vector<std::string> journal_names(std::string_view folder);

// One journal file being written. Text goes in as UTF-16 and reaches the
// file as UTF-16LE, after the byte-order mark.
class JournalFile {
  public:
    JournalFile() = default;
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    // Creates the next journal in `folder` (and the folder), and prunes the
    // oldest beyond kJournalsKept. Returns 0, or the system's status.
    long create(std::string_view folder);
    explicit operator bool() const { return file_ != nullptr; }
    // The journal's file name, without the folder.
    const std::string& name() const { return name_; }

    // Appends text; `now` hands it to the system at once, so that it
    // survives the process being killed. False once anything failed.
    bool append(std::u16string_view text, bool now);
    // Puts what was written on the disk. False once anything failed.
    bool sync();

  private:
    std::FILE* file_ = nullptr;
    std::string name_;
    bool failed_ = false;
    bool unsynced_ = false;  // written since the last sync
    std::string bytes_;
};

// Appends UTF-16 text to a closed journal, as UTF-16LE. 0, or the status.
long journal_append_to(std::string_view path, std::u16string_view text);

}  // namespace qh
