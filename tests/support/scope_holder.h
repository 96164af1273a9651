// Another process that holds this machine's operation scope, as a second run
// of the tool in the middle of an operation does: the registry database's
// write lock on the emulated machine, the named mutex under Windows.
#pragma once

#include <cstdint>
#include <string>

namespace qh_test {

class ScopeHolder {
  public:
    // Starts the helper and returns once it holds the scope, or once it
    // could not get it within a few seconds (then holds() is false).
    ScopeHolder();
    // Releases the scope if that has not happened yet.
    ~ScopeHolder();
    ScopeHolder(const ScopeHolder&) = delete;
    ScopeHolder& operator=(const ScopeHolder&) = delete;

    bool holds() const { return holds_; }
    // Lets the helper go and waits for it to end; its exit code (0 when it
    // held the scope and let it go).
    int release();

  private:
    std::string release_file_;
    std::intptr_t helper_ = -1;
    bool holds_ = false;
};

// The backend's side: starts the helper process with the two signal files
// (Windows paths): it creates the first once it holds the scope and lets go
// once the second exists. Returns an id for finish_scope_holder, or -1.
std::intptr_t start_scope_holder(const std::string& held_file, const std::string& release_file);
// Waits for the helper to end; its exit code, -1 when it did not end.
int finish_scope_holder(std::intptr_t helper);

}  // namespace qh_test
