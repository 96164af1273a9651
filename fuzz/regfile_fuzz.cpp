// Feeds arbitrary bytes to the registry-file reader's operations and, as a
// file, to the engine in both modes on a private emulated machine.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "regfile/regfile.h"
#include "regfile/regfile_reader.h"

namespace {

std::string machine_dir;

void exercise_reader(const std::string& bytes) {
    qh::RegfileReader reader(bytes);
    std::string line;
    std::string out;
    while (reader.read_line(line)) {
        qh::regfile_read_quoted(line, 0, out);
        if (const auto colon = line.find(':'); colon != std::string::npos) {
            qh::regfile_parse_hex(std::string_view(line).substr(colon + 1), reader, out);
        }
        qh::regfile_wide_to_text(line, out);
        qh::regfile_wide_list_to_text(line, out);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/quillhaven-fuzz-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    machine_dir = dir;
    setenv("QUILLHAVEN_ROOT", dir, 1);
    // The machine is the fuzzer's own: gone when the run ends.
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(machine_dir, ignored);
    });
    qh::platform::locale_select("chinese-simplified");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    exercise_reader(bytes);

    const std::string path = machine_dir + "/input.reg";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    for (const qh::RegfileMode mode : {qh::RegfileMode::apply, qh::RegfileMode::remove}) {
        const qh::platform::OperationScope scope;
        const int result = qh::regfile_apply("Z:" + path, mode);
        if (result != 0 && result != 2) std::abort();  // the file exists: never 1
    }
    return 0;
}
