// The system's messages for the statuses the emulated machine gives, in the
// words Windows uses for them, so that a failure reads the same on both.
#include <string>

#include "platform/platform.h"

namespace qh::platform {
namespace {

struct StatusText {
    long status;            // the Win32 error code
    std::string_view text;  // the system's message for it, without line end
};

constexpr StatusText kStatusTexts[] = {
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {14, "Not enough memory resources are available to complete this operation."},
    {29, "The system cannot write to the specified device."},
    {31, "A device attached to the system is not functioning."},
    {33,
     "The process cannot access the file because another process has locked a portion of the "
     "file."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {161, "The specified path is invalid."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {1009, "The configuration registry database is corrupt."},
    {1013, "The configuration registry key could not be written."},
    {1016,
     "An I/O operation initiated by the registry failed unrecoverably. The registry could not "
     "read in, or write out, or flush, one of the files that contain the system's image of the "
     "registry."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1460, "This operation returned because the timeout period expired."},
};

}  // namespace

std::string status_message(long status) {
    for (const StatusText& entry : kStatusTexts) {
        if (entry.status == status) return std::string(entry.text);
    }
    return "error " + std::to_string(status);
}

}  // namespace qh::platform
