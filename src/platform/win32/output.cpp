// Standard output and standard error in text mode: every "\n" the tool
// writes reaches the console or pipe as CR LF, as Windows programs expect.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/platform.h"

namespace qh::platform {

namespace {

bool write_text(std::FILE* stream, std::string_view bytes) {
    _setmode(_fileno(stream), _O_TEXT);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    return std::fflush(stream) == 0 && written;
}

}  // namespace

bool stdout_write(std::string_view bytes) { return write_text(stdout, bytes); }

bool stderr_write(std::string_view bytes) { return write_text(stderr, bytes); }

}  // namespace qh::platform
