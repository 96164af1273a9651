// -tidy and -audit against Windows' own reg: a list that reg add wrote comes
// back mended and expandable as reg query shows it, and expands with the
// variables Windows sets itself.
#include <gtest/gtest.h>

#include <string>

#include "support/registry_helpers.h"
#include "support/win32/processes.h"

namespace {

constexpr const char* kReg = "C:\\windows\\system32\\reg.exe";

TEST(WineTidy, ListWrittenByRegAddIsMendedAsRegQueryShows) {
    qh_test::ValueRestorer saved(qh_test::hkcu(), "Environment", "QH_WINE_TIDY");
    ASSERT_EQ(qh_test::win32::run_program(
                  kReg, {"add", "HKCU\\Environment", "/v", "QH_WINE_TIDY", "/t", "REG_SZ", "/d",
                         "%SystemRoot%;;C:\\WINDOWS\\;\"C:\\windows\\system32\"", "/f"})
                  .exit_code,
              0);
    EXPECT_EQ(qh_test::run_cli({"-user", "-tidy", "QH_WINE_TIDY"}).output, qh_test::kSucceeded);

    const qh_test::ToolRun query =
        qh_test::win32::run_program(kReg, {"query", "HKCU\\Environment", "/v", "QH_WINE_TIDY"});
    EXPECT_NE(query.output.find("REG_EXPAND_SZ    %SystemRoot%;C:\\windows\\system32\r\n"),
              std::string::npos)
        << query.output;
    EXPECT_EQ(qh_test::run_cli({"-audit", "QH_WINE_TIDY"}).output,
              "user\t1\t%SystemRoot%\tC:\\windows\t\n"
              "user\t2\tC:\\windows\\system32\tC:\\windows\\system32\t\n"
              "2 entries, 0 with findings, length 30 of 32767 (some programs cut beyond 2047)\n");
}

}  // namespace
