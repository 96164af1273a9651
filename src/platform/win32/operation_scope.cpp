// The operation scope: one named mutex that every run of the tool shares, so
// that concurrent runs never interleave inside one read-modify-write.
#include <windows.h>

#include "platform/lock_wait.h"
#include "platform/platform.h"

namespace qh::platform {
namespace {

// The same name in every session, so an installer running as a service and a
// user at a console still exclude each other.
constexpr const char* kMutexName = "Global\\Quillhaven.OperationScope";

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

// The calling thread's last error, never success: the caller has failed.
long last_failure() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<long>(error) : ERROR_GEN_FAILURE;
}

}  // namespace

long operation_begin() {
    if (g_held) return kErrorSuccess;
    // Without the mutex a run could lose another run's changes: it fails.
    if (!g_mutex) g_mutex = open_shared_mutex();
    if (!g_mutex) return last_failure();
    const DWORD waited = WaitForSingleObject(g_mutex, lock_wait_ms(env_lookup(kLockWaitVariable)));
    // An abandoned mutex is ours now: the run that held it was killed.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        g_held = true;
        return kErrorSuccess;
    }
    return waited == WAIT_TIMEOUT ? kErrorTimeout : last_failure();
}

bool operation_scope_defers_changes() { return false; }

long operation_end() {
    if (!g_held) return kErrorSuccess;
    // Every registry call was complete when it returned, so a release that
    // fails takes nothing back: the operation's changes are kept.
    ReleaseMutex(g_mutex);
    g_held = false;
    return kErrorSuccess;
}

}  // namespace qh::platform
