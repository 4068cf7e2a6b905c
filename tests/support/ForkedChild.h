#ifndef TESTS_SUPPORT_FORKEDCHILD_H
#define TESTS_SUPPORT_FORKEDCHILD_H

#include <functional>
#include <string>

namespace VantorTest {

// What a child process reported and how it ended.
struct ChildResult {
    std::string report;   // what the body returned
    bool exited = false;  // ended through exit rather than a signal
    int status = -1;      // the exit status when `exited`
};

// Runs `body` in a forked child and waits for it (a child still running after
// `timeoutSeconds` is killed). The child's changes to the process (environment, mounts,
// limits, process-wide objects) stay in the child. The child ends with status 0 after
// handing the body's text back, unless the body ends the process itself.
ChildResult RunInChild(const std::function<std::string()>& body, unsigned timeoutSeconds = 20);

// Inside a child: moves it into a mount namespace of its own (a user namespace as well
// when it is not privileged) and mounts a tmpfs of `sizeBytes` on `directory`. False when
// this system does not allow it; the caller then skips.
bool MountPrivateTmpfs(const std::string& directory, unsigned long sizeBytes);

} // namespace VantorTest

#endif
