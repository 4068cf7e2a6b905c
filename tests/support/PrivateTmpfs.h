#ifndef TESTS_SUPPORT_PRIVATETMPFS_H
#define TESTS_SUPPORT_PRIVATETMPFS_H

#include <string>

namespace VantorTest {

// For a child process (a death test's): moves it into a mount namespace of its own (a user
// namespace as well when it is not privileged) and mounts a tmpfs of `sizeBytes` on
// `directory`. False when this system does not allow it.
bool MountPrivateTmpfs(const std::string& directory, unsigned long sizeBytes);

} // namespace VantorTest

#endif
