// Naming, creating, writing and pruning the journal files.
#include "registry/reg_journal.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <ctime>

#include "platform/platform.h"

namespace qh {

namespace {

// A name taken by another run (the same second, a reused process id) moves
// on to the next sequence; past this many, something else is wrong.
constexpr int kCreateAttempts = 64;

// The sequence a journal name starts with, or nothing for another file.
std::optional<unsigned long> sequence_of(std::string_view name) {
    if (name.size() < kJournalSequenceDigits + 1 || name[kJournalSequenceDigits] != '-')
        return std::nullopt;
    unsigned long number = 0;
    for (int i = 0; i < kJournalSequenceDigits; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
        number = number * 10 + static_cast<unsigned long>(name[i] - '0');
    }
    return number;
}

std::string name_for(unsigned long sequence) {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    char stamp[32] = "00000000-000000";
    if (local) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
    char text[96];
    std::snprintf(text, sizeof text, "%0*lu-%s-%lu.reg", kJournalSequenceDigits, sequence, stamp,
                  platform::process_id());
    return text;
}

std::string in_folder(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    return path + std::string(name);
}

void append_le(std::string& bytes, std::u16string_view text) {
    if constexpr (std::endian::native == std::endian::little) {
        bytes.append(reinterpret_cast<const char*>(text.data()), 2 * text.size());
        return;
    }
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
}

}  // namespace

std::optional<std::string> journal_folder_from_environment() {
    if (std::optional<std::string> chosen = platform::env_lookup("QUILLHAVEN_JOURNAL");
        chosen && !chosen->empty()) {
        if (platform::locale_compare_nocase(*chosen, "off") == 0) return std::nullopt;
        return chosen;
    }
    const std::optional<std::string> local = platform::local_app_data();
    if (!local) return std::string();
    return in_folder(*local, "Quillhaven\\journal");
}

std::vector<std::string> journal_names(std::string_view folder) {
    std::vector<std::pair<unsigned long, std::string>> found;
    for (std::string& name : platform::find_names(in_folder(folder, "*.reg")))
        if (const auto sequence = sequence_of(name); sequence && name.ends_with(".reg"))
            found.emplace_back(*sequence, std::move(name));
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second > b.second;
    });
    std::vector<std::string> names;
    for (auto& entry : found) names.push_back(std::move(entry.second));
    return names;
}

JournalFile::~JournalFile() {
    if (file_) {
        sync();
        std::fclose(file_);
    }
}

long JournalFile::create(std::string_view folder) {
    if (const long status = platform::folder_create(folder); status != platform::kErrorSuccess)
        return status;
    const std::vector<std::string> present = journal_names(folder);
    unsigned long sequence = present.empty() ? 1 : *sequence_of(present.front()) + 1;
    long status = platform::kErrorFileExists;
    for (int attempt = 0; attempt < kCreateAttempts && status == platform::kErrorFileExists;
         ++attempt, ++sequence) {
        name_ = name_for(sequence);
        file_ = platform::file_create_new(in_folder(folder, name_), status);
    }
    if (!file_) return status;
    // The newest are kept, this one among them.
    const std::vector<std::string> all = journal_names(folder);
    // With the files kept beside them ("<name>.autoexec.bat").
    for (std::size_t i = kJournalsKept; i < all.size(); ++i) {
        const std::string base = all[i].substr(0, all[i].size() - 4);
        for (const std::string& beside : platform::find_names(in_folder(folder, base + ".*")))
            platform::file_delete(in_folder(folder, beside));
    }
    bytes_ = "\xff\xfe";
    return platform::kErrorSuccess;
}

bool JournalFile::append(std::u16string_view text, bool now) {
    if (!file_ || failed_) return false;
    unsynced_ = unsynced_ || !text.empty();
    // Buffered here, so that a large import makes few calls to the system;
    // each call hands whole texts on, so that a killed run leaves no half
    // record behind.
    constexpr std::size_t kBufferBytes = 64 * 1024;
    const auto hand_on = [this] {
        failed_ = std::fwrite(bytes_.data(), 1, bytes_.size(), file_) != bytes_.size() ||
                  std::fflush(file_) != 0;
        bytes_.clear();
    };
    if (bytes_.size() + 2 * text.size() > kBufferBytes && !bytes_.empty()) hand_on();
    append_le(bytes_, text);
    if (now || bytes_.size() >= kBufferBytes) hand_on();
    return !failed_;
}

bool JournalFile::sync() {
    if (!file_ || failed_) return false;
    if (!unsynced_) return true;
    if (!append({}, true)) return false;
    failed_ = !platform::file_flush(file_);
    unsynced_ = false;
    return !failed_;
}

long journal_append_to(std::string_view path, std::u16string_view text) {
    std::FILE* file = platform::file_open(path, "ab");
    if (!file) return platform::kErrorAccessDenied;
    std::string bytes;
    append_le(bytes, text);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool synced = platform::file_flush(file);
    return std::fclose(file) == 0 && written && synced ? platform::kErrorSuccess
                                                       : platform::kErrorWriteFault;
}

}  // namespace qh
