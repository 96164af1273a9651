// The texts the tool prints about itself: banner, help, examples and the
// syntax error message.
#include "cli/help.h"

#include "quillhaven_version.h"

namespace qh {

namespace {

// Macros, so that the banner can be put together from literals.
#define QH_PROGRAM "Quillhaven"
#define QH_VERSION "v 1.0 (8 April 2005)"
#define QH_WEB_ADDRESS "https://quillhaven.example.org/"
#define QH_MAIL_ADDRESS "quillhaven@example.org"

constexpr std::string_view kBanner =
    QH_PROGRAM " " QH_VERSION
               ", developed by Velmorin\n"
               "Welcome to report bugs and comments via " QH_WEB_ADDRESS
               "\n"
               "Usage:\t" QH_PROGRAM " [options]\n";

// The banner keeps the version it has always shown; -version tells the
// release.
constexpr std::string_view kVersionLine = QH_PROGRAM " " QH_RELEASE_VERSION "\n";

constexpr std::string_view kHelpLines[] = {
    "Common Options/Switches:\n",
    "\t-help\t\tDisplay this help screen\n",
    "\t-examples\tDisplay some examples\n",
    "\t-version\tDisplay the version number\n",
    "\t-sys\t\tProcess system environment variables (default)\n",
    "\t-user\t\tProcess the current user's environment variables\n",
    "\t-start\t\tAdd the path at the beginning (default)\n",
    "\t-end\t\tAppend the path at the end\n",
    "\t-code-page\n",
    "\t-language\tSet the code page of your desired language [chs]\n",
    "\t-refresh\tForce to refresh the system environment\n",
    "\t-no-refresh\tDONNOT refresh the system environment even changed\n",
    "\t-fail-exit\tExit with code 2 when an operation fails\n",
    "Options for Environment Variables (multiple relative paths are supported):\n",
    "\t+path path\tadd a path to the environment variable %PATH%\n",
    "\t-path path\tremove a path from the environment variable %PATH%\n",
    "\t+env  ENV path\tadd a path to the environment variable %ENV%\n",
    "\t-env  ENV path\tremove a path from the environment variable %ENV%\n",
    "\t=env  ENV value\tset the environment variable \"%ENV%=value\"\n",
    "\t-env  ENV\tremove the environment variable %ENV%\n",
    "\t-audit ENV\tshow %ENV% as a new program gets it, and what is wrong in it\n",
    "\t-tidy ENV\tdrop empty, repeated and quoted entries of the path list %ENV%\n",
    "Options for Registry Table:\n",
    "\t+regp key [value] path\tadd a path to a REG_SZ registry value\n",
    "\t-regp key [value] path\tremove a path from a REG_SZ registry value\n",
    "\t=regv key [value] sz\n",
    "\t+regv key [value] sz\tset/add a registry value (REG_SZ only)\n",
    "\t-regv key [value]\tremove a registry value\n",
    "\t+regk key\t\tadd a registry key\n",
    "\t-regk key\t\tremove a registry key (all sub-keys and values)\n",
    "\t+regf regfile_path\tadd a registry file into the registry table\n",
    "\t-regf regfile_path\tremove a registry file from the registry table\n",
    "\t-regr key value\t\tread a value under the given key\n",
    "\t-regl key value\t\tread the latest value under a subkey\n",
    "\t+regt key [value] type data\tset/add a value of any type, as reg add /t /d\n",
    "\t-regq key\t\tlist a key's values and subkeys, as reg query\n",
    "\t=regq key\t\tlist a key and every key below it, as reg query /s\n",
    "\t-rege key regfile_path\texport a key and all below it into a registry file\n",
    "Options for MiKTeX and Related Tools:\n",
    "\t-miktex\t\tdetect MiKTeX installation\n",
    "\t-WinEdt\t\tdetect WinEdt installation\n",
    "\t-gswin32c\tdetect the latest version of Ghostscript\n",
    "\t+gswin32c\tadd Ghostscript into PATH\n",
    "\t-javaw\t\tdetect the latest version of Java2RE\n",
    "\t+javaw [ENV]\tadd javaw.exe into the environment variable %ENV%\n",
    "\t-texlive\tdetect TeX Live's bin folder (+texlive: add it into PATH)\n",
    "Previewing and Taking Back Changes:\n",
    "\t-dry-run\tshow what the operations after it would change, and change nothing\n",
    "\t-backout\ttake back the newest run not yet taken back, by its journal\n",
};

constexpr std::string_view kExampleLines[] = {
    "Some Examples:\n",
    "Quillhaven +path C:\\tovrane\\bin\n",
    "Quillhaven -no-refresh -path .\\tovrane\\..\\bin;..\\bin\n",
    "Quillhaven -fail-exit +path C:\\tovrane\\bin & if errorlevel 2 echo Failed to add the path\n",
    "Quillhaven -user -start +env include C:\\tovrane\\include\n",
    "Quillhaven -user -env include C:\\tovrane\\include\n",
    "Quillhaven =env localtexmf C:\\MiKTeXDirect\n",
    "Quillhaven -env localtexmf\n",
    "Quillhaven -audit Path\n",
    "Quillhaven -user -tidy Path\n",
    "Quillhaven +regp HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane path C:\\tovrane\\bin\n",
    "Quillhaven -regp HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane C:\\tovrane\\bin\n",
    "Quillhaven =regv HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane " QH_WEB_ADDRESS "\n",
    "Quillhaven +regv HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane e-mail " QH_MAIL_ADDRESS "\n",
    "Quillhaven -regv HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane e-mail\n",
    "Quillhaven -regv HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane\n",
    "Quillhaven +regk HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane\\test\n",
    "Quillhaven -regk HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane\\test\n",
    "Quillhaven +regf C:\\tovrane\\Unicode.reg\n",
    "Quillhaven -regf C:\\tovrane\\Non-Unicode.reg\n",
    "Quillhaven -regr \"HKEY_LOCAL_MACHINE\\SOFTWARE\\AFPL Ghostscript\\8.50\" GS_DLL\n",
    "Quillhaven -regl \"HKEY_LOCAL_MACHINE\\SOFTWARE\\AFPL Ghostscript\" GS_DLL\n",
    "Quillhaven +regt HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane Version REG_DWORD 0x10\n",
    "Quillhaven -regq HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane\n",
    "Quillhaven =regq HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane\n",
    "Quillhaven -rege HKEY_LOCAL_MACHINE\\SOFTWARE\\tovrane C:\\tovrane\\backup.reg\n",
    "Quillhaven -MiKTeX\n",
    "Quillhaven -WinEdt\n",
    "Quillhaven -gswin32c\n",
    "Quillhaven +gswin32c\n",
    "Quillhaven -javaw\n",
    "Quillhaven +javaw javacommand\n",
    "Quillhaven -texlive\n",
    "Quillhaven -user -end +texlive\n",
    "Quillhaven -dry-run +regf C:\\tovrane\\Unicode.reg\n",
    "Quillhaven -backout\n",
};

void write_lines(const Output& out, const auto& lines) {
    for (const std::string_view line : lines) out(line);
}

void print_banner(const Output& out) { out(kBanner); }

}  // namespace

int show_help(const Output& out, int exit_code) {
    print_banner(out);
    write_lines(out, kHelpLines);
    return exit_code;
}

int show_examples(const Output& out) {
    print_banner(out);
    write_lines(out, kExampleLines);
    return 0;
}

int show_version(const Output& out) {
    out(kVersionLine);
    return 0;
}

int report_syntax_error(const Output& out) {
    out("Syntax error occurs!\n");
    return show_help(out, 1);
}

}  // namespace qh
