#include "tests/support/ForkedChild.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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

ChildResult RunInChild(const std::function<std::string()>& body, unsigned timeoutSeconds)
{
    ChildResult result;
    int channel[2];
    if (pipe(channel) != 0)
        return result;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return result;
    }
    if (child == 0) {
        close(channel[0]);
        alarm(timeoutSeconds);
        const std::string report = body();
        for (std::string::size_type done = 0; done < report.size();) {
            const ssize_t n = write(channel[1], report.data() + done, report.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::string::size_type>(n);
        }
        close(channel[1]);
        _exit(0);
    }
    close(channel[1]);
    char buffer[512];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof(buffer))) > 0;)
        result.report.append(buffer, static_cast<std::string::size_type>(n));
    close(channel[0]);
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.exited = true;
        result.status = WEXITSTATUS(status);
    }
    return result;
}

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
