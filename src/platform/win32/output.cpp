// Standard output in text mode: every "\n" the tool writes reaches the
// console or pipe as CR LF, as Windows programs expect.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/platform.h"

namespace qh::platform {

void stdout_write(std::string_view bytes) {
    static const bool text_mode = _setmode(_fileno(stdout), _O_TEXT) != -1;
    (void)text_mode;
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace qh::platform
