// The operation scope: one named mutex that every run of the tool shares, so
// that concurrent runs never interleave inside one read-modify-write.
#include <windows.h>

#include "platform/platform.h"

namespace qh::platform {
namespace {

// The same name in every session, so an installer running as a service and a
// user at a console still exclude each other.
constexpr const char* kMutexName = "Global\\Quillhaven.OperationScope";

constexpr DWORD kWaitMilliseconds = 30000;

HANDLE g_mutex = nullptr;
bool g_held = false;

HANDLE open_shared_mutex() {
    // A null DACL: runs under other accounts must be able to wait on it too.
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    SECURITY_ATTRIBUTES* security = nullptr;
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
        security = &attributes;
    }
    HANDLE mutex = CreateMutexA(security, FALSE, kMutexName);
    if (!mutex) mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kMutexName);
    return mutex;
}

}  // namespace

void operation_begin() {
    if (g_held) return;
    if (!g_mutex) g_mutex = open_shared_mutex();
    // Without the mutex the run goes on unguarded rather than not at all.
    if (!g_mutex) return;
    // Bounded, as the emulated machine's busy timeout: a process that holds
    // the mutex for ever must not stop every later run.
    const DWORD waited = WaitForSingleObject(g_mutex, kWaitMilliseconds);
    // An abandoned mutex is ours now: the run that held it was killed.
    g_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

void operation_end() {
    if (!g_held) return;
    ReleaseMutex(g_mutex);
    g_held = false;
}

}  // namespace qh::platform
