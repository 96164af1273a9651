// -audit and -tidy on the two environment keys, run in process; on the 9x
// family as processes, which see the family only when started after it.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/switches.h"
#include "env_fixture.h"

namespace {

using qh::platform::kRegExpandSz;
using qh::platform::kRegSz;
using qh_test::kFailed;
using qh_test::kSucceeded;
using qh_test::kSystemEnvironment;
using qh_test::kUserEnvironment;
using qh_test::Text;

struct Store {
    qh::Key root;
    std::string_view subkey;
};
Store store(qh::Scope scope) {
    if (scope == qh::Scope::system) return {qh_test::hklm(), kSystemEnvironment};
    return {qh_test::hkcu(), kUserEnvironment};
}

std::string line(std::string_view scope, std::string_view position, std::string_view stored,
                 std::string_view expanded, std::string_view findings = "") {
    std::string text(scope);
    for (const std::string_view field : {position, stored, expanded, findings})
        text.append("\t").append(field);
    return text + "\n";
}

std::string summary(int entries, int with_findings, std::size_t length) {
    return std::to_string(entries) + (entries == 1 ? " entry, " : " entries, ") +
           std::to_string(with_findings) + " with findings, length " + std::to_string(length) +
           " of 32767 (some programs cut beyond 2047)\n";
}

// Both Path values and the variables the lists refer to, put back after the
// test. D holds the directories a and b, the file f.txt and a directory
// named %QH_NOPE%.
class EnvAudit : public testing::Test {
  protected:
    void SetUp() override {
        d_ = qh_test::scratch_dir("env_audit");
        for (const char* sub : {"\\a", "\\b", "\\%QH_NOPE%"})
            ASSERT_TRUE(qh_test::make_directory(d_ + sub));
        ASSERT_TRUE(qh_test::write_file(d_ + "\\f.txt", "x"));
        for (const char* name : {"Path", "QH_AUDIT", "QH_AUDIT_DIR", "QH_AUDIT_BOTH",
                                 "QH_AUDIT_NEST", "QH_AUDIT_LOOP", "QH_AUDIT_USER"}) {
            saved_.emplace_back(std::make_unique<qh_test::ValueRestorer>(
                qh_test::hklm(), std::string(kSystemEnvironment), name));
            saved_.emplace_back(std::make_unique<qh_test::ValueRestorer>(
                qh_test::hkcu(), std::string(kUserEnvironment), name));
            put(qh::Scope::system, name, std::nullopt);
            put(qh::Scope::user, name, std::nullopt);
        }
        put(qh::Scope::system, "QH_AUDIT_DIR", Text{kRegSz, d_});
    }

    static void put(qh::Scope scope, std::string_view name, const std::optional<Text>& value) {
        const Store at = store(scope);
        qh::reg_delete_value_at(at.root, at.subkey, name);
        if (value) qh_test::put_text(at.root, at.subkey, name, value->type, value->text);
    }

    std::string d_;
    std::vector<std::unique_ptr<qh_test::ValueRestorer>> saved_;
};

TEST_F(EnvAudit, EntriesOfBothScopesWithTheirFindings) {
    const std::string d = d_;
    struct Case {
        std::optional<Text> system, user;
        std::string name;
        std::string out;  // before the summary
        int entries, with_findings;
        std::size_t length;
    };
    const std::string alone = d + "\\gone;" + d + "\\f.txt;" + d + "\\a;" + d + "\\A\\;;\"" + d +
                              "\\b\";" + d + "\\%QH_NOPE%;bin";
    const std::string system_list = "%QH_AUDIT_DIR%\\a;\"" + d + "\\gone\";\"rel\";";
    const std::string user_list = "%QH_AUDIT_DIR%\\a;" + d + "\\A\\;C:\\;C:;c:\\;\"" + d + "\\a\"";
    const Case cases[] = {
        {Text{kRegExpandSz, alone}, std::nullopt, "Path",
         line("system", "1", d + "\\gone", d + "\\gone", "missing") +
             line("system", "2", d + "\\f.txt", d + "\\f.txt", "file") +
             line("system", "3", d + "\\a", d + "\\a") +
             line("system", "4", d + "\\A\\", d + "\\A\\", "duplicate of system 3") +
             line("system", "5", "", "", "empty") +
             line("system", "6", "\"" + d + "\\b\"", "\"" + d + "\\b\"", "quoted") +
             line("system", "7", d + "\\%QH_NOPE%", d + "\\%QH_NOPE%", "not expanded") +
             line("system", "8", "bin", "bin", "relative"),
         8, 7, alone.size()},
        // Findings together; a REG_SZ list is never expanded; the user's list
        // repeats the system's; C:\ is the root, C: the current directory.
        {Text{kRegExpandSz, system_list}, Text{kRegSz, user_list}, "PATH",
         line("system", "1", "%QH_AUDIT_DIR%\\a", d + "\\a") +
             line("system", "2", "\"" + d + "\\gone\"", "\"" + d + "\\gone\"", "missing, quoted") +
             line("system", "3", "\"rel\"", "\"rel\"", "quoted, relative") +
             line("system", "4", "", "", "empty") +
             line("user", "1", "%QH_AUDIT_DIR%\\a", "%QH_AUDIT_DIR%\\a", "not expanded, relative") +
             line("user", "2", d + "\\A\\", d + "\\A\\", "duplicate of system 1") +
             line("user", "3", "C:\\", "C:\\") + line("user", "4", "C:", "C:", "relative") +
             line("user", "5", "c:\\", "c:\\", "duplicate of user 3") +
             line("user", "6", "\"" + d + "\\a\"", "\"" + d + "\\a\"",
                  "duplicate of system 1, quoted"),
         10, 8, system_list.size() - 14 + d.size() + 1 + user_list.size()},
        // Names from the system's variables first, then the user's; nested
        // and looping references.
        {Text{kRegExpandSz, "%QH_AUDIT_USER%;%QH_AUDIT_BOTH%;%QH_AUDIT_NEST%\\b;%QH_AUDIT_LOOP%"},
         std::nullopt, "Path",
         line("system", "1", "%QH_AUDIT_USER%", d + "\\b") +
             line("system", "2", "%QH_AUDIT_BOTH%", d + "\\a") +
             line("system", "3", "%QH_AUDIT_NEST%\\b", d + "\\b", "duplicate of system 1") +
             line("system", "4", "%QH_AUDIT_LOOP%", "%QH_AUDIT_LOOP%", "relative"),
         4, 2, 3 * (d.size() + 2) + 15 + 3},
        // Another name: the user's value replaces the system's.
        {Text{kRegExpandSz, "%QH_AUDIT_DIR%\\b"}, Text{kRegSz, d + "\\a;" + d + "\\gone"},
         "QH_AUDIT",
         line("user", "1", d + "\\a", d + "\\a") +
             line("user", "2", d + "\\gone", d + "\\gone", "missing") +
             line("system", "-", "%QH_AUDIT_DIR%\\b", d + "\\b", "hidden by the user value"),
         2, 1, 2 * d.size() + 8},
        {Text{kRegSz, d + "\\a"}, std::nullopt, "qh_audit",
         line("system", "1", d + "\\a", d + "\\a"), 1, 0, d.size() + 2},
    };
    put(qh::Scope::user, "QH_AUDIT_USER", Text{kRegSz, d + "\\b"});
    put(qh::Scope::system, "QH_AUDIT_BOTH", Text{kRegSz, d + "\\a"});
    put(qh::Scope::user, "QH_AUDIT_BOTH", Text{kRegSz, d + "\\b"});
    put(qh::Scope::system, "QH_AUDIT_NEST", Text{kRegExpandSz, "%QH_AUDIT_DIR%"});
    put(qh::Scope::system, "QH_AUDIT_LOOP", Text{kRegExpandSz, "%QH_AUDIT_LOOP%"});
    for (const Case& c : cases) {
        const std::string name = c.name == "QH_AUDIT" || c.name == "qh_audit" ? "QH_AUDIT" : "Path";
        put(qh::Scope::system, name, c.system);
        put(qh::Scope::user, name, c.user);
        const qh_test::CliRun run = qh_test::run_cli({"-audit", c.name, "=env", "QH_AUDIT", "x"});
        EXPECT_EQ(run.output, c.out + summary(c.entries, c.with_findings, c.length)) << c.out;
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.errors, "");
        // Like a read, the audit ended the run.
        EXPECT_EQ(qh_test::read_typed_text(qh_test::hklm(), kSystemEnvironment, "QH_AUDIT"),
                  name == "QH_AUDIT" ? c.system : std::nullopt);
    }
}

TEST_F(EnvAudit, ExitCodesAndANameSetNowhere) {
    put(qh::Scope::system, "QH_AUDIT", Text{kRegSz, d_});
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        std::string_view first_line;
    };
    const Case cases[] = {
        {{"-fail-exit", "-audit", "QH_AUDIT"}, 0, "system\t1\t"},
        {{"-fail-exit", "-env", "QH_AUDIT_NONE", "-audit", "QH_AUDIT"}, 2, kFailed},
        {{"-audit", "QH_AUDIT_NONE", "-fail-exit", "=env", "QH_AUDIT", "bin", "-audit", "QH_AUDIT"},
         2,
         kFailed},
        {{"+audit", "QH_AUDIT_NONE", "=env", "QH_AUDIT_DIR", "x"}, 0, kFailed},
    };
    for (const Case& c : cases) {
        const qh_test::CliRun run = qh_test::run_cli(c.args);
        EXPECT_EQ(run.exit_code, c.exit_code) << c.args[1];
        EXPECT_TRUE(run.output.starts_with(c.first_line)) << run.output;
    }
    // The run went on after the failure.
    EXPECT_EQ(
        qh_test::read_text(qh::platform::Root::local_machine, kSystemEnvironment, "QH_AUDIT_DIR"),
        "x");
    EXPECT_EQ(qh_test::run_cli({"-audit", "QH_AUDIT_NONE"}).errors,
              "quillhaven: -audit QH_AUDIT_NONE: QH_AUDIT_NONE is set in neither the system's nor "
              "the user's environment\n");
}

TEST_F(EnvAudit, TidyMendsOneScopeAndTheAuditFindsNothingLeftThere) {
    const std::string d = d_;
    struct Case {
        qh::Scope scope;
        Text before, after;
        bool writes;
    };
    const Case cases[] = {
        {qh::Scope::system,
         {kRegSz, d + "\\a;;\"" + d + "\\b\";" + d + "\\A\\;" + d + "\\gone;rel;\"" + d + "\\b\";"},
         {kRegSz, d + "\\a;" + d + "\\b;" + d + "\\gone;rel"},
         true},
        {qh::Scope::user,
         {kRegSz, "%QH_AUDIT_DIR%\\a;" + d + "\\a;C:\\;C:;c:\\;\"\";" + d + "\\b"},
         {kRegExpandSz, "%QH_AUDIT_DIR%\\a;C:\\;C:;" + d + "\\b"},
         true},
        {qh::Scope::user, {kRegSz, "%QH_AUDIT_DIR%\\a"}, {kRegExpandSz, "%QH_AUDIT_DIR%\\a"}, true},
        {qh::Scope::system, {kRegExpandSz, ";;"}, {kRegExpandSz, ""}, true},
        {qh::Scope::user,
         {kRegExpandSz, d + "\\a;" + d + "\\b"},
         {kRegExpandSz, d + "\\a;" + d + "\\b"},
         false},
        {qh::Scope::system, {kRegSz, d + "\\A"}, {kRegSz, d + "\\A"}, false},
    };
    for (const Case& c : cases) {
        const qh::Scope other = c.scope == qh::Scope::user ? qh::Scope::system : qh::Scope::user;
        const Text elsewhere{kRegSz, d + "\\b;;" + d + "\\b"};
        put(c.scope, "Path", c.before);
        put(other, "Path", elsewhere);
        const std::optional<int> broadcasts = qh_test::broadcast_count();
        const std::string scope_switch = c.scope == qh::Scope::user ? "-user" : "-sys";
        EXPECT_EQ(qh_test::run_cli({scope_switch, "-tidy", "Path"}).output, kSucceeded) << c.before;
        EXPECT_EQ(qh_test::read_typed_text(store(c.scope).root, store(c.scope).subkey, "Path"),
                  c.after)
            << c.before;
        EXPECT_EQ(qh_test::read_typed_text(store(other).root, store(other).subkey, "Path"),
                  elsewhere);
        if (broadcasts) {
            EXPECT_EQ(qh_test::broadcast_count(), *broadcasts + (c.writes ? 1 : 0)) << c.before;
        }

        const std::string audit = qh_test::run_cli({"-audit", "Path"}).output;
        const std::string scope_word = c.scope == qh::Scope::user ? "user" : "system";
        for (std::size_t at = 0; at < audit.size();) {
            const std::size_t end = audit.find('\n', at);
            const std::string entry = audit.substr(at, end - at);
            at = end + 1;
            if (!entry.starts_with(scope_word + "\t")) continue;
            for (const std::string& bad :
                 {std::string("empty"), std::string("quoted"), "duplicate of " + scope_word})
                EXPECT_EQ(entry.find(bad), std::string::npos) << entry;
        }
    }
    put(qh::Scope::user, "QH_AUDIT", std::nullopt);
    EXPECT_EQ(qh_test::run_cli({"-user", "-tidy", "QH_AUDIT"}).output, kFailed);
}

TEST_F(EnvAudit, NinexAuditsTheProcessEnvironmentAndRefusesToTidy) {
    put(qh::Scope::user, "Path", Text{kRegSz, ";;"});
    qh_test::set_windows_family_9x(true);
    qh_test::set_env("QH_AUDIT_NINEX", d_ + "\\a;;%QH_AUDIT_DIR%");
    const qh_test::ToolRun audit = qh_test::run_tool({"-audit", "qh_audit_ninex"});
    const qh_test::ToolRun tidy = qh_test::run_tool({"-user", "-tidy", "Path"});
    qh_test::set_windows_family_9x(false);
    qh_test::unset_env("QH_AUDIT_NINEX");

    EXPECT_EQ(audit.output, qh_test::text_mode(line("process", "1", d_ + "\\a", d_ + "\\a") +
                                               line("process", "2", "", "", "empty") +
                                               line("process", "3", "%QH_AUDIT_DIR%",
                                                    "%QH_AUDIT_DIR%", "not expanded, relative") +
                                               summary(3, 2, d_.size() + 18)));
    EXPECT_EQ(tidy.output, qh_test::text_mode(kFailed));
    EXPECT_NE(tidy.errors.find("AUTOEXEC.BAT"), std::string::npos) << tidy.errors;
    EXPECT_EQ(qh_test::read_typed_text(qh_test::hkcu(), kUserEnvironment, "Path"),
              (Text{kRegSz, ";;"}));
}

}  // namespace
