// Standard output and standard error in text mode: every "\n" the tool
// writes reaches the console or pipe as CR LF, as Windows programs expect.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/platform.h"

namespace qh::platform {

namespace {

void write_text(std::FILE* stream, std::string_view bytes) {
    _setmode(_fileno(stream), _O_TEXT);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

void stdout_write(std::string_view bytes) { write_text(stdout, bytes); }

void stderr_write(std::string_view bytes) { write_text(stderr, bytes); }

}  // namespace qh::platform
