#include "tests/support/PrivateTmpfs.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace VantorTest {

namespace {

bool WriteProcFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path);
    out << text;
    out.flush();
    return out.good();
}

} // namespace

bool MountPrivateTmpfs(const std::string& directory, unsigned long sizeBytes)
{
    if (unshare(CLONE_NEWNS) != 0) {
        const uid_t uid = geteuid();
        const gid_t gid = getegid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return false;
        WriteProcFile("/proc/self/setgroups", "deny");
        if (!WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
            !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
            return false;
    }
    // Keep the new mount from showing up in the parent's namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    const std::string options = "size=" + std::to_string(sizeBytes) + ",mode=0755";
    return mount("tmpfs", directory.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

} // namespace VantorTest
