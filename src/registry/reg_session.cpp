// The run's record of its changes: the former state of each thing a change
// touches, written before the change, the first time only.
#include "registry/reg_session.h"

#include <algorithm>
#include <cassert>

#include "registry/reg_lines.h"
#include "registry/reg_reason.h"
#include "registry/reg_tree.h"

namespace qh {

namespace {

// The largest value the journal keeps: more than the registry stores.
constexpr std::size_t kMaxJournalValue = 64 * 1024 * 1024;
constexpr std::u16string_view kLineEnd = u"\r\n";

constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ull;

void fnv_byte(std::uint64_t& digest, unsigned char byte) {
    digest ^= byte;
    digest *= 0x100000001b3ull;
}

void fnv_unit(std::uint64_t& digest, char16_t unit) {
    fnv_byte(digest, static_cast<unsigned char>(unit & 0xFF));
    fnv_byte(digest, static_cast<unsigned char>(unit >> 8));
}

// Continues a digest with a value's type and bytes.
std::uint64_t fnv_value(std::uint64_t digest, std::uint32_t type, std::string_view data) {
    for (int shift = 0; shift < 32; shift += 8)
        fnv_byte(digest, static_cast<unsigned char>(type >> shift));
    for (const char byte : data) fnv_byte(digest, static_cast<unsigned char>(byte));
    return digest;
}

char16_t fold(char16_t unit) { return unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit; }

std::u16string folded(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& unit : out) unit = fold(unit);
    return out;
}

std::u16string root_name(Key root) {
    for (std::size_t i = 0; i < platform::kRootNames.size(); ++i)
        if (platform::root_key(static_cast<platform::Root>(i)) == root)
            return {platform::kRootNames[i].begin(), platform::kRootNames[i].end()};
    return u"?";
}

platform::WideName wide_name(std::u16string_view name) {
    if (name.empty()) return std::nullopt;
    return name;
}

// The value as stored, or nothing when it is not there; nothing at all when
// it cannot be read.
std::optional<std::optional<StoredValue>> read_stored(Key key, std::u16string_view name) {
    StoredValue value;
    const long status = platform::reg_query_value_wide(key, wide_name(name), value.type, value.data,
                                                       kMaxJournalValue);
    if (status == platform::kErrorFileNotFound) return std::optional<StoredValue>();
    if (status != platform::kErrorSuccess) return std::nullopt;
    return std::optional<StoredValue>(std::move(value));
}

std::u16string quoted(std::u16string_view text) {
    std::u16string out;
    regfile_append_quoted(out, text);
    return out;
}

// Whether `id` is the key `key_id` or one below it.
bool at_or_below(std::u16string_view id, std::u16string_view key_id) {
    return id.starts_with(key_id) && (id.size() == key_id.size() || id[key_id.size()] == u'\\');
}

}  // namespace

std::u16string change_key_name(Key root, std::u16string_view subkey) {
    std::u16string name = root_name(root);
    for (std::size_t start = 0; start <= subkey.size();) {
        std::size_t end = subkey.find(u'\\', start);
        if (end == std::u16string_view::npos) end = subkey.size();
        if (end > start) name.append(u"\\").append(subkey.substr(start, end - start));
        start = end + 1;
    }
    return name;
}

std::u16string change_key_id(Key root, std::u16string_view subkey) {
    return folded(change_key_name(root, subkey));
}

std::u16string change_state(const std::optional<StoredView>& value) {
    if (!value) return u"absent";
    // FNV-1a: a change by another program shows as another digest.
    std::uint64_t digest = 0xcbf29ce484222325ull;
    for (const char byte : value->data) {
        digest ^= static_cast<unsigned char>(byte);
        digest *= 0x100000001b3ull;
    }
    constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string text;
    std::uint32_t type = value->type;
    do {
        text.insert(text.begin(), kDigits[type & 0xF]);
        type >>= 4;
    } while (type != 0);
    text += u' ';
    for (int shift = 60; shift >= 0; shift -= 4) text += kDigits[(digest >> shift) & 0xF];
    return text;
}

ChangeSession::ChangeSession(std::optional<std::string> folder)
    : folder_(std::move(folder)), records_at_once_(!platform::operation_scope_defers_changes()) {}

const ChangeSession::KeyNames& ChangeSession::key_names(Key root, std::u16string_view subkey) {
    if (!last_key_.valid || last_key_.root != root || last_key_.subkey != subkey) {
        last_key_.valid = true;
        last_key_.root = root;
        last_key_.subkey.assign(subkey);
        last_key_.name = change_key_name(root, subkey);
        last_key_.id = folded(last_key_.name);
        last_key_.quoted = quoted(last_key_.name);
        last_key_.covering = covering(last_key_.id);
        last_key_.tree = nullptr;
        last_key_.id_digest = kFnvBasis;
        for (const char16_t unit : last_key_.id) fnv_unit(last_key_.id_digest, unit);
    }
    return last_key_;
}

RegResult ChangeSession::refuse(long status, std::string_view what) {
    if (failed_status_ == 0) {
        failed_status_ = status;
        failure_ = std::string(what) + ": " + reg_status_clause(status) +
                   "; the change was not made, as it could not be taken back";
    }
    return {RegStep::key, failed_status_};
}

RegResult ChangeSession::start() {
    if (journal_) return {};
    if (folder_->empty())
        return refuse(platform::kErrorPathNotFound,
                      "no folder for the journal is known (LOCALAPPDATA is not set)");
    if (const long status = journal_.create(*folder_); status != platform::kErrorSuccess)
        return refuse(status, "the journal cannot be made in " + *folder_);
    std::u16string header;
    regfile_append_header(header);
    header.append(u";").append(heading_.empty() ? u"Quillhaven journal" : heading_);
    header.append(kLineEnd).append(kLineEnd);
    // Before the first change, the file is on the disk.
    if (!journal_.append(header, true) || !journal_.sync())
        return refuse(platform::kErrorWriteFault,
                      "the journal " + journal_.name() + " cannot be written");
    return {};
}

bool ChangeSession::record(std::u16string_view comment, const std::u16string& key_id,
                           std::u16string_view body) {
    if (!start().ok()) return false;
    std::u16string text(comment);
    text.append(kLineEnd).append(body);
    if (!journal_.append(text, records_at_once_)) {
        refuse(platform::kErrorWriteFault, "the journal " + journal_.name() + " cannot be written");
        return false;
    }
    records_.push_back({key_id, std::u16string(body)});
    return true;
}

std::optional<std::u16string> ChangeSession::covering(std::u16string_view key_id) const {
    for (std::u16string_view id = key_id;;) {
        if (std::u16string at(id); covered_.contains(at)) return at;
        const std::size_t cut = id.rfind(u'\\');
        if (cut == std::u16string_view::npos) return std::nullopt;
        id = id.substr(0, cut);
    }
}

ChangeSession::Tree& ChangeSession::tree_for(const std::u16string& key_id, Key root,
                                             std::u16string_view subkey, std::u16string name) {
    Tree& tree = trees_[key_id];
    tree.name = std::move(name);
    tree.root = root;
    tree.subkey.assign(subkey);
    return tree;
}

void ChangeSession::write_trees() {
    for (auto& [id, tree] : trees_) {
        if (!tree.changed) continue;
        tree.changed = false;
        std::optional<std::u16string> state;
        if (tree.recount) {
            state = change_tree_state_of(tree.root, tree.subkey);
        } else if (!tree.unknown) {
            // The last of each value's entries is what the run left.
            std::stable_sort(tree.entries.begin(), tree.entries.end(),
                             [](const auto& a, const auto& b) { return a.id < b.id; });
            std::vector<Tree::Entry> left;
            for (std::size_t i = 0; i < tree.entries.size(); ++i)
                if ((i + 1 == tree.entries.size() ||
                     tree.entries[i + 1].id != tree.entries[i].id) &&
                    tree.entries[i].present)
                    left.push_back(tree.entries[i]);
            std::uint64_t sum = 0;
            for (const Tree::Entry& entry : left) sum += entry.digest;
            state = change_tree_state(left.size(), sum);
            tree.entries = std::move(left);
        }
        journal_.append(u";left tree " + quoted(tree.name) + u" " + state.value_or(u"unknown") +
                            std::u16string(kLineEnd),
                        false);
    }
}

RegResult ChangeSession::before_value(Key key, Key root, std::u16string_view subkey,
                                      std::u16string_view name) {
    if (!folder_) return {};
    if (failed_status_ != 0) return {RegStep::key, failed_status_};
    const KeyNames& names = key_names(root, subkey);
    if (names.covering) return start();
    std::u16string value_id = names.id;
    value_id.append(1, u'\0').append(folded(name));
    if (touched_.contains(value_id)) return {};
    const auto former = read_stored(key, name);
    if (!former) return refuse(platform::kErrorWriteFault, "the value cannot be read to record it");
    std::u16string body;
    regfile_append_key(body, names.name);
    if (*former) {
        regfile_append_value(body, name, (*former)->type, (*former)->data);
    } else {
        body.append(name.empty() ? u"@" : quoted(name)).append(u"=-").append(kLineEnd);
    }
    regfile_append_key_end(body);
    if (!record(u";was value " + names.quoted + u" " + quoted(name), names.id, body))
        return {RegStep::key, failed_status_};
    touched_.insert(std::move(value_id));
    return {};
}

void ChangeSession::after_value(Key key, Key root, std::u16string_view subkey,
                                std::u16string_view name, const std::optional<StoredView>& left,
                                bool known) {
    if (!folder_ || !journal_) return;
    if (const KeyNames& names = key_names(root, subkey); names.covering) {
        if (!last_key_.tree) last_key_.tree = &trees_[*names.covering];
        Tree& tree = *last_key_.tree;
        tree.changed = true;
        std::uint64_t id = names.id_digest;
        fnv_unit(id, u'\0');
        for (const char16_t unit : name) fnv_unit(id, fold(unit));
        std::optional<std::optional<StoredValue>> read;
        if (!known) read = read_stored(key, name);
        if (!known && !read) {
            tree.unknown = true;
        } else if (known ? !left : !*read) {
            tree.entries.push_back({id, 0, false});
        } else {
            const StoredView now = known ? *left : (*read)->view();
            tree.entries.push_back({id, fnv_value(id, now.type, now.data), true});
        }
        return;
    }
    std::u16string state;
    if (known) {
        state = change_state(left);
    } else if (const auto now = read_stored(key, name)) {
        state = *now ? change_state((*now)->view()) : change_state(std::nullopt);
    } else {
        state = u"unknown";
    }
    line_.assign(u";left value ");
    line_.append(key_names(root, subkey).quoted).append(u" ");
    regfile_append_quoted(line_, name);
    line_.append(u" ").append(state).append(kLineEnd);
    journal_.append(line_, false);
}

RegResult ChangeSession::before_key_created(Key root, std::u16string_view subkey, bool& creates) {
    creates = false;
    if (!folder_) return {};
    if (failed_status_ != 0) return {RegStep::key, failed_status_};
    if (covering(change_key_id(root, subkey))) {
        creates = true;
        return start();
    }
    // The topmost key that is missing: deleting it takes what the run
    // creates below it too.
    std::size_t end = 0;
    for (;;) {
        while (end < subkey.size() && subkey[end] == u'\\') ++end;
        if (end >= subkey.size()) return {};  // it is there: nothing is created
        end = std::min(subkey.find(u'\\', end), subkey.size());
        Key opened;
        const long status = platform::reg_open_key_wide(root, subkey.substr(0, end), opened);
        if (status == platform::kErrorSuccess) {
            platform::reg_close_key(opened);
            continue;
        }
        // Not readable, yet there: the creation does not create it.
        if (status != platform::kErrorFileNotFound) return {};
        break;
    }
    creates = true;
    const std::u16string_view created = subkey.substr(0, end);
    const std::u16string key_name = change_key_name(root, created);
    std::u16string key_id = folded(key_name);
    std::u16string body = u"[-" + key_name + u"]" + std::u16string(kLineEnd);
    regfile_append_key_end(body);
    if (!record(u";was key " + quoted(key_name), key_id, body))
        return {RegStep::key, failed_status_};
    tree_for(key_id, root, created, key_name);
    covered_.insert(std::move(key_id));
    last_key_.valid = false;
    return {};
}

RegResult ChangeSession::before_key_deleted(Key root, std::u16string_view subkey) {
    if (!folder_) return {};
    if (failed_status_ != 0) return {RegStep::key, failed_status_};
    std::u16string key_id = change_key_id(root, subkey);
    if (covering(key_id)) return start();
    Key opened;
    if (platform::reg_open_key_wide(root, subkey, opened) != platform::kErrorSuccess)
        return {};  // not there, or not to be read: the deletion fails on its own
    const std::u16string key_name = change_key_name(root, subkey);
    std::u16string body = u"[-" + key_name + u"]" + std::u16string(kLineEnd);
    const RegResult read = regfile_append_tree(body, opened, key_name);
    platform::reg_close_key(opened);
    if (!read.ok()) return refuse(read.status, "the key cannot be read to record it");
    // What the run changed below it before comes back as it was before the run.
    for (const Record& earlier : records_)
        if (at_or_below(earlier.key_id, key_id)) body += earlier.body;
    if (!record(u";was key " + quoted(key_name), key_id, body))
        return {RegStep::key, failed_status_};
    // Keys the run created below it go with it.
    tree_for(key_id, root, subkey, key_name);
    std::erase_if(trees_, [&key_id](const auto& below) {
        return below.first != key_id && at_or_below(below.first, key_id);
    });
    covered_.insert(std::move(key_id));
    last_key_.valid = false;
    return {};
}

void ChangeSession::after_key(Key root, std::u16string_view subkey, std::optional<bool> there) {
    if (!folder_ || !journal_) return;
    const std::u16string key_id = change_key_id(root, subkey);
    // Below a recorded key only its values are compared: a key deleted there
    // takes its values out of the tree.
    if (const std::optional<std::u16string> cover = covering(key_id); cover && *cover != key_id) {
        if (there == std::optional<bool>(true)) return;
        Tree& tree = trees_[*cover];
        tree.changed = true;
        tree.recount = true;
        return;
    }
    bool present = there.value_or(false);
    if (!there) {
        Key opened;
        present = platform::reg_open_key_wide(root, subkey, opened) == platform::kErrorSuccess;
        if (present) platform::reg_close_key(opened);
    }
    if (const auto tree = trees_.find(key_id); tree != trees_.end() && !present) {
        tree->second.entries.clear();
        tree->second.recount = false;
        tree->second.unknown = false;
        tree->second.changed = true;
    }
    journal_.append(u";left key " + quoted(change_key_name(root, subkey)) +
                        (present ? u" present" : u" absent") + std::u16string(kLineEnd),
                    false);
}

std::optional<std::string> change_file_content(std::string_view path, bool& exists) {
    exists = platform::file_attributes(path).has_value();
    if (!exists) return std::string();
    std::FILE* file = platform::file_open(path, "rb");
    if (!file) return std::nullopt;
    std::string content;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::nullopt;
    return content;
}

namespace {

std::u16string widened(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

}  // namespace

std::u16string change_file_state(std::string_view path) {
    bool exists = false;
    const std::optional<std::string> content = change_file_content(path, exists);
    if (!exists) return u"absent";
    if (!content) return u"unknown";
    return change_state(StoredView{platform::kRegNone, *content});
}

RegResult ChangeSession::before_file(std::string_view path) {
    if (!folder_) return {};
    if (failed_status_ != 0) return {RegStep::key, failed_status_};
    const std::u16string id = u"file:" + folded(widened(path));
    if (touched_.contains(id)) return {};
    bool exists = false;
    const std::optional<std::string> content = change_file_content(path, exists);
    if (!content)
        return refuse(platform::kErrorAccessDenied,
                      std::string(path) + " cannot be read to record it");
    if (const RegResult started = start(); !started.ok()) return started;
    std::u16string comment = u";was file " + quoted(widened(path)) + u" ";
    if (exists) {
        // Beside the journal, named after it and the file.
        std::string kept = journal_.name();
        kept.resize(kept.size() - std::string_view(".reg").size());
        const std::size_t slash = path.find_last_of("\\/");
        kept += '.' + platform::locale_lower(
                          path.substr(slash == std::string_view::npos ? 0 : slash + 1));
        const std::string at = *folder_ + (folder_->ends_with('\\') ? "" : "\\") + kept;
        if (const long status = platform::file_replace(at, *content, false);
            status != platform::kErrorSuccess)
            return refuse(status, "the former " + std::string(path) + " cannot be kept in " + at);
        comment += quoted(widened(kept));
    } else {
        comment += u"absent";
    }
    if (!record(comment, u"", u"")) return {RegStep::key, failed_status_};
    touched_.insert(id);
    return {};
}

void ChangeSession::after_file(std::string_view path) {
    if (!folder_ || !journal_) return;
    journal_.append(u";left file " + quoted(widened(path)) + u" " + change_file_state(path) +
                        std::u16string(kLineEnd),
                    false);
}

std::uint64_t change_value_digest(std::u16string_view value_id, std::uint32_t type,
                                  std::string_view data) {
    // FNV-1a over the id, the type and the bytes.
    std::uint64_t digest = kFnvBasis;
    for (const char16_t unit : value_id) fnv_unit(digest, unit);
    return fnv_value(digest, type, data);
}

std::optional<std::u16string> change_tree_state_of(Key root, std::u16string_view subkey) {
    Key key;
    const long opened = platform::reg_open_key_wide(root, subkey, key);
    if (opened == platform::kErrorFileNotFound) return change_tree_state(0, 0);
    if (opened != platform::kErrorSuccess) return std::nullopt;
    const std::u16string key_id = change_key_id(root, subkey);
    std::size_t count = 0;
    std::uint64_t sum = 0;
    std::u16string below_id;
    RegWalkVisitor visitor;
    visitor.key = [&](std::u16string_view below) {
        below_id = key_id;
        if (!below.empty()) below_id.append(u"\\").append(folded(below));
    };
    visitor.value = [&](const RegWideValue& value) {
        std::u16string id = below_id;
        id.append(1, u'\0').append(folded(value.name));
        sum += change_value_digest(id, value.type, value.data);
        ++count;
    };
    visitor.key_done = [](std::u16string_view, const std::vector<std::u16string>&) {};
    const RegResult walked = reg_walk(key, true, visitor);
    platform::reg_close_key(key);
    if (!walked.ok()) return std::nullopt;
    return change_tree_state(count, sum);
}

std::u16string change_tree_state(std::size_t count, std::uint64_t sum) {
    constexpr char16_t kDigits[] = u"0123456789abcdef";
    const std::string number = std::to_string(count);
    std::u16string text(number.begin(), number.end());
    text += u' ';
    for (int shift = 60; shift >= 0; shift -= 4) text += kDigits[(sum >> shift) & 0xF];
    return text;
}

void ChangeSession::operation_done() {
    if (!journal_) return;
    write_trees();
    if (records_at_once_) return;
    sync();
}

void ChangeSession::sync() {
    if (journal_) write_trees();
    if (journal_ && !journal_.sync() && failed_status_ == 0)
        refuse(platform::kErrorWriteFault, "the journal " + journal_.name() + " cannot be written");
}

}  // namespace qh
