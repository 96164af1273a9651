// Every changing operation is recorded in its run's journal and taken back
// by -backout: the keys it touched are exported before the run and after
// the take-back, and the two exports must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "detect_fixture.h"
#include "registry/reg_journal.h"
#include "registry/reg_value.h"
#include "support/registry_helpers.h"
#include "support/test_support.h"

namespace {

using detect_test::ScratchKey;
using qh::platform::Root;
using qh_test::kFailed;
using qh_test::kSucceeded;
using qh_test::run_cli;
using qh_test::ValueRestorer;
using Args = std::vector<std::string>;

constexpr const char* kBase = "Software\\QuillhavenTests\\journal";
const std::string kKey = std::string("HKEY_CURRENT_USER\\") + kBase;
const std::string kUserEnv = "HKEY_CURRENT_USER\\Environment";
const std::string kSystemEnv = "HKEY_LOCAL_MACHINE\\" + std::string(qh_test::kSystemEnvironment);

// An export with the values of each key sorted: a value put back goes to
// the end of its key's values, as it does when the registry editor imports
// it.
std::string in_value_order(const std::optional<std::string>& bytes) {
    if (!bytes) return "?";
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 2; i + 1 < bytes->size(); i += 2) {
        line += (*bytes)[i];
        if (line.ends_with("\\\r\n")) {
            line.resize(line.size() - 3);  // a hex list goes on in the next line
        } else if (line.ends_with("\r\n")) {
            lines.push_back(line);
            line.clear();
        }
    }
    std::string sorted;
    for (auto block = lines.begin(); block != lines.end();) {
        const auto end = std::find(block, lines.end(), "\r\n");
        if (block != end) std::sort(block + 1, end);
        for (; block != end; ++block) sorted += *block;
        if (end != lines.end()) sorted += *block++;
    }
    return sorted;
}

class Journal : public testing::Test {
  protected:
    void SetUp() override {
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
        dir_ = qh_test::scratch_dir("journal");
        journals_ = dir_ + "\\journals";
        qh_test::set_env("QUILLHAVEN_JOURNAL", journals_);
    }
    void TearDown() override {
        qh_test::unset_env("QUILLHAVEN_JOURNAL");
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
    }

    // A full export of each key, "absent" for one that is not there.
    std::vector<std::string> snapshot(const std::vector<std::string>& keys) const {
        std::vector<std::string> exports;
        const std::string file = dir_ + "\\snapshot.reg";
        for (const std::string& key : keys) {
            qh_test::remove_file(file);
            const qh_test::CliRun run = run_cli({"-rege", key, file});
            exports.push_back(run.output == kSucceeded ? in_value_order(qh_test::read_file(file))
                                                       : "absent");
        }
        return exports;
    }

    std::string file(std::string_view name, std::string_view text) const {
        const std::string path = dir_ + "\\" + std::string(name);
        EXPECT_TRUE(qh_test::write_file(path, text));
        return path;
    }

    std::string dir_;
    std::string journals_;
};

TEST_F(Journal, EachChangingOperationIsTakenBackWhole) {
    ValueRestorer user_path(Root::current_user, "Environment", "Path");
    ValueRestorer variable(Root::current_user, "Environment", "QhJournalVar");
    ValueRestorer javacommand(Root::local_machine, std::string(qh_test::kSystemEnvironment),
                              "javacommand");
    ValueRestorer system_path(Root::local_machine, std::string(qh_test::kSystemEnvironment),
                              "Path");
    ScratchKey java(Root::local_machine, "SOFTWARE\\JavaSoft");
    ScratchKey ghostscript(Root::local_machine, "SOFTWARE\\AFPL Ghostscript");
    if (java.existed_before() || ghostscript.existed_before())
        GTEST_SKIP() << "the machine has its own Java or Ghostscript";
    java.set("Java Runtime Environment\\1.4.2", "JavaHome", "C:\\j2re1.4.2");
    const std::string gs_bin = dir_ + "\\gs8.50\\bin";
    ASSERT_TRUE(qh_test::make_directory(gs_bin));
    ghostscript.set("8.50", "GS_DLL", gs_bin + "\\gsdll32.dll");

    const std::string import = file(
        "import.reg", "REGEDIT4\n\n[" + kKey + "\\new]\n\"a\"=\"1\"\n\"b\"=dword:00000002\n\n[" +
                          kKey + "]\n\"v\"=\"replaced\"\n\"w\"=-\n\n[-" + kKey + "\\sub]\n");
    const std::string uninstall =
        file("uninstall.reg", "REGEDIT4\n\n[" + kKey + "]\n\"v\"=\"x\" --uninstall\n\n[" + kKey +
                                  "\\sub] --uninstall\n");
    const Args fill = {"+regv",
                       kKey,
                       "v",
                       "before",
                       "+regt",
                       kKey,
                       "w",
                       "REG_DWORD",
                       "7",
                       "+regv",
                       kKey + "\\sub",
                       "s",
                       "C:\\a;C:\\b",
                       "+regv",
                       kKey + "\\sub\\deeper",
                       "d",
                       "x"};
    const Args user_variable = {"-user", "=env", "QhJournalVar", "C:\\one;C:\\two;C:\\one;"};
    const std::vector<std::string> keys = {kKey, kUserEnv, kSystemEnv};
    const std::string folder = dir_ + "\\qh folder";
    ASSERT_TRUE(qh_test::make_directory(folder));
    struct Case {
        const char* what;
        Args setup;  // journaled too; the take-back takes back only the run after it
        Args run;
    };
    const Case cases[] = {
        {"+path", {"-user", "=env", "Path", "C:\\first"}, {"-user", "+path", folder}},
        {"-path", {"-user", "+path", folder}, {"-user", "-path", folder}},
        {"+env", user_variable, {"-user", "+env", "QhJournalVar", folder}},
        {"-env DIRS", user_variable, {"-user", "-env", "QhJournalVar", "C:\\two"}},
        {"-env", user_variable, {"-user", "-env", "QhJournalVar"}},
        {"=env", {}, {"-user", "=env", "QhJournalVar", "new"}},
        {"-tidy", user_variable, {"-user", "-tidy", "QhJournalVar"}},
        {"+regv", fill, {"+regv", kKey, "v", "after", "+regv", kKey + "\\a\\b", "c", "new"}},
        {"-regv", fill, {"-regv", kKey, "v"}},
        {"+regk", fill, {"+regk", kKey + "\\k1\\k2"}},
        {"-regk", fill, {"-regk", kKey + "\\sub"}},
        {"+regp", fill, {"+regp", kKey + "\\sub", "s", folder}},
        {"-regp", fill, {"-regp", kKey + "\\sub", "s", "C:\\a"}},
        {"+regt", fill, {"+regt", kKey, "w", "REG_MULTI_SZ", "x\\0y"}},
        {"+regf", fill, {"+regf", import}},
        {"-regf", fill, {"-regf", uninstall}},
        {"+javaw", {}, {"+javaw"}},
        {"+gswin32c", {}, {"+gswin32c"}},
        {"a value changed, then its key deleted",
         fill,
         {"+regv", kKey + "\\sub", "s", "changed", "+regk", kKey + "\\sub\\made", "-regk",
          kKey + "\\sub", "+regv", kKey + "\\sub", "s", "again"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.setup.empty()) {
            ASSERT_EQ(run_cli(c.setup).errors, "");
        }
        const std::vector<std::string> before = snapshot(keys);
        // The preview changes nothing, keeps no journal, and names each change.
        const std::size_t journals = qh::journal_names(journals_).size();
        Args preview = {"-dry-run"};
        preview.insert(preview.end(), c.run.begin(), c.run.end());
        const qh_test::CliRun shown = run_cli(preview);
        EXPECT_NE(shown.output.find("would "), std::string::npos) << shown.output;
        EXPECT_EQ(shown.errors, "");
        EXPECT_TRUE(snapshot(keys) == before) << "the preview changed something";
        EXPECT_EQ(qh::journal_names(journals_).size(), journals);
        const qh_test::CliRun run = run_cli(c.run);
        EXPECT_EQ(run.errors, "");
        ASSERT_FALSE(snapshot(keys) == before) << "the run changed nothing";
        const qh_test::CliRun backout = run_cli({"-backout"});
        EXPECT_EQ(backout.output, kSucceeded) << backout.errors;
        EXPECT_TRUE(snapshot(keys) == before) << "not what it was before the run";
        qh::reg_delete_key_at(qh_test::hkcu(), kBase);
    }
    // A variable put back is a change of the environment, broadcast.
    ASSERT_EQ(run_cli({"-user", "=env", "QhJournalVar", "x"}).output, kSucceeded);
    if (const std::optional<int> sent = qh_test::broadcast_count()) {
        ASSERT_EQ(run_cli({"-backout"}).output, kSucceeded);
        EXPECT_EQ(qh_test::broadcast_count(), *sent + 1);
    }
}

TEST_F(Journal, APreviewShowsEachChangeAndLaterOperationsSeeIt) {
    ASSERT_EQ(
        run_cli({"+regv", kKey, "v", "old", "+regt", kKey + "\\sub", "d", "REG_DWORD", "5"}).errors,
        "");
    const std::string shown_key = kKey;
    struct Case {
        Args run;
        std::string output;
    };
    const Case cases[] = {
        {{"+regk", kKey + "\\new", "+regv", kKey + "\\new", "x", "y", "-x", "-regr", kKey + "\\new",
          "x"},
         "would create key " + kKey + "\\new\n" + std::string(kSucceeded) + "would set " + kKey +
             "\\new\\x (REG_SZ): y (new)\n" + std::string(kSucceeded) + "y"},
        {{"+regv", kKey, "v", "new", "+regt", kKey + "\\sub", "d", "REG_DWORD", "7"},
         "would set " + kKey + "\\v (REG_SZ): new (was: old)\n" + std::string(kSucceeded) +
             "would set " + kKey + "\\sub\\d (REG_DWORD): dword:00000007 (was: dword:00000005)\n" +
             std::string(kSucceeded)},
        {{"-regv", kKey, "v", "-regv", kKey, "v", "-regk", kKey},
         "would delete value v of " + kKey + " (was: old)\n" + std::string(kSucceeded) +
             std::string(kFailed) + "would delete " + kKey + " (1 value, 1 subkey)\n" +
             std::string(kSucceeded)},
    };
    const std::vector<std::string> before = snapshot({kKey});
    for (const Case& c : cases) {
        Args args = {"-dry-run"};
        args.insert(args.end(), c.run.begin(), c.run.end());
        EXPECT_EQ(run_cli(args).output, c.output);
    }
    EXPECT_TRUE(snapshot({kKey}) == before);
    // A take-back previewed leaves the run to be taken back.
    ASSERT_EQ(run_cli({"+regv", kKey, "v", "changed"}).output, kSucceeded);
    EXPECT_EQ(run_cli({"-dry-run", "-backout"}).output,
              "would set " + kKey + "\\v (REG_SZ): old (was: changed)\n" + std::string(kSucceeded));
    EXPECT_EQ(qh_test::read_text(Root::current_user, kBase, "v"), "changed");
    EXPECT_EQ(run_cli({"-backout"}).output, kSucceeded);
    EXPECT_EQ(qh_test::read_text(Root::current_user, kBase, "v"), "old");
}

TEST_F(Journal, RunsAreTakenBackInTurnAndTheNewestAreKept) {
    for (const char* data : {"1", "2", "3"})
        ASSERT_EQ(run_cli({"+regv", kKey, "v", data}).output, kSucceeded);
    // The second take-back's own journal is passed over by the third.
    for (const char* data : {"2", "1"}) {
        const qh_test::CliRun run = run_cli({"-backout"});
        EXPECT_EQ(run.output, kSucceeded) << run.errors;
        EXPECT_EQ(qh_test::read_text(Root::current_user, kBase, "v"), data);
    }
    ASSERT_EQ(run_cli({"-backout"}).output, kSucceeded);
    EXPECT_FALSE(qh_test::key_exists(Root::current_user, kBase));
    const qh_test::CliRun none = run_cli({"-backout"});
    EXPECT_EQ(none.output, kFailed);
    EXPECT_NE(none.errors.find("no run is left to take back"), std::string::npos) << none.errors;
    // A run that changes nothing writes no journal.
    const std::size_t journals = qh::journal_names(journals_).size();
    EXPECT_EQ(run_cli({"-regv", kKey, "nothing"}).output, kFailed);
    EXPECT_EQ(qh::journal_names(journals_).size(), journals);

    for (int i = 0; i < 22; ++i) ASSERT_EQ(run_cli({"+regv", kKey, "v", "x"}).output, kSucceeded);
    const std::vector<std::string> names = qh::journal_names(journals_);
    ASSERT_EQ(names.size(), qh::kJournalsKept);
    EXPECT_TRUE(names.front().starts_with("000028-")) << names.front();
    EXPECT_TRUE(names.back().starts_with("000009-")) << names.back();
}

TEST_F(Journal, WhatAnotherProgramChangedSinceIsLeftAndNamed) {
    ASSERT_EQ(run_cli({"+regv", kKey, "v", "1", "+regv", kKey, "w", "1"}).errors, "");
    ASSERT_EQ(
        run_cli({"+regv", kKey, "v", "2", "+regv", kKey, "w", "2", "+regv", kKey, "x", "2"}).errors,
        "");
    // Another program, which keeps no journal.
    ASSERT_TRUE(qh::reg_write_sz_at("other", qh_test::hkcu(), kBase, "v").ok());
    const qh_test::CliRun run = run_cli({"-backout"});
    EXPECT_EQ(run.output, kFailed);
    EXPECT_NE(run.errors.find("the value \"v\" of " + kKey + " was changed since that run"),
              std::string::npos)
        << run.errors;
    EXPECT_EQ(qh_test::read_text(Root::current_user, kBase, "v"), "other");
    EXPECT_EQ(qh_test::read_text(Root::current_user, kBase, "w"), "1");
    EXPECT_FALSE(qh_test::read_value(Root::current_user, kBase, "x"));
}

TEST_F(Journal, AJournalThatCannotBeWrittenStopsTheChange) {
    const std::string not_a_folder = file("plain.txt", "x");
    qh_test::set_env("QUILLHAVEN_JOURNAL", not_a_folder + "\\journals");
    const std::string import = file("one.reg", "REGEDIT4\n\n[" + kKey + "]\n\"a\"=\"1\"\n");
    for (const Args& args : {Args{"+regv", kKey, "v", "1"}, Args{"+regk", kKey},
                             Args{"+regf", import}, Args{"-user", "=env", "QhJournalVar", "x"}}) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        const qh_test::CliRun run = run_cli(args);
        EXPECT_EQ(run.output, kFailed);
        EXPECT_NE(run.errors.find("the journal cannot be made in " + not_a_folder),
                  std::string::npos)
            << run.errors;
    }
    EXPECT_FALSE(qh_test::key_exists(Root::current_user, kBase));
    EXPECT_FALSE(qh_test::read_value(Root::current_user, "Environment", "QhJournalVar"));

    qh_test::set_env("QUILLHAVEN_JOURNAL", "off");
    EXPECT_EQ(run_cli({"+regv", kKey, "v", "1"}).output, kSucceeded);
    const qh_test::CliRun backout = run_cli({"-backout"});
    EXPECT_EQ(backout.output, kFailed);
    EXPECT_NE(backout.errors.find("QUILLHAVEN_JOURNAL is off"), std::string::npos);
}

}  // namespace

namespace {

// On the 9x family the batch file is kept beside the journal and put back.
// The family is a process's from its start: the runs are processes of their
// own.
class JournalOn9x : public Journal {
  protected:
    static constexpr const char* kBatch = "C:\\AUTOEXEC.BAT";
    void SetUp() override {
        Journal::SetUp();
        saved_ = qh_test::read_file(kBatch);
        qh_test::set_windows_family_9x(true);
        qh_test::set_env("QhJournalVar", "C:\\old");
    }
    void TearDown() override {
        qh_test::unset_env("QhJournalVar");
        qh_test::set_windows_family_9x(false);
        if (saved_) {
            qh_test::write_file(kBatch, *saved_);
        } else {
            qh_test::remove_file(kBatch);
        }
        Journal::TearDown();
    }
    static qh_test::ToolRun run(const Args& args) { return qh_test::run_tool(args); }
    std::optional<std::string> saved_;
};

TEST_F(JournalOn9x, TheBatchFileIsPutBack) {
    const std::string succeeded = qh_test::text_mode(kSucceeded);
    const std::string folder = dir_ + "\\bin";
    struct Case {
        std::optional<std::string> before;
        Args run;
    };
    const Case cases[] = {
        {"REM first\r\nset QhJournalVar=C:\\old\r\n", {"+env", "QhJournalVar", folder}},
        {std::nullopt, {"+env", "QhJournalVar", folder}},
        {"set QhJournalVar=%QhJournalVar%;" + folder + "\r\n", {"-env", "QhJournalVar", folder}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.run[0]);
        if (c.before) {
            ASSERT_TRUE(qh_test::write_file(kBatch, *c.before));
        } else {
            qh_test::remove_file(kBatch);
        }
        const qh_test::ToolRun changed = run(c.run);
        ASSERT_EQ(changed.output, succeeded) << changed.errors;
        ASSERT_NE(qh_test::read_file(kBatch), c.before) << "the run changed nothing";
        const qh_test::ToolRun backout = run({"-backout"});
        EXPECT_EQ(backout.output, succeeded) << backout.errors;
        EXPECT_EQ(qh_test::read_file(kBatch), c.before);
    }
    // A preview shows the line it would append, and writes nothing.
    ASSERT_TRUE(qh_test::write_file(kBatch, "REM x\r\n"));
    const qh_test::ToolRun shown = run({"-dry-run", "+env", "QhJournalVar", folder});
    EXPECT_EQ(shown.output,
              qh_test::text_mode("would append to C:\\AUTOEXEC.BAT: set "
                                 "QhJournalVar=" +
                                 folder + ";%QhJournalVar%\n" + std::string(kSucceeded)));
    EXPECT_EQ(qh_test::read_file(kBatch), "REM x\r\n");
    // Written by another program since: left, and named.
    ASSERT_EQ(run({"+env", "QhJournalVar", folder}).output, succeeded);
    ASSERT_TRUE(qh_test::write_file(kBatch, "REM another program\r\n"));
    const qh_test::ToolRun backout = run({"-backout"});
    EXPECT_EQ(backout.output, qh_test::text_mode(kFailed));
    EXPECT_NE(backout.errors.find(std::string(kBatch) + " was changed since"), std::string::npos)
        << backout.errors;
    EXPECT_EQ(qh_test::read_file(kBatch), "REM another program\r\n");
}

}  // namespace
