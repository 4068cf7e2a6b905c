#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace VantorTest {

namespace {

const std::chrono::milliseconds kPollInterval(10);

// The program's path: `name` itself when it holds a "/", otherwise the first executable of
// that name in PATH.
std::string FindProgram(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return name;
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    throw std::runtime_error(name + " is not installed");
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& logPath)
    : pid(-1), ended(false), exitStatus(-1)
{
    // Everything the child needs is made before fork: between fork and exec it may only
    // make calls that are safe in a copy of a threaded process.
    const std::string program = FindProgram(argv[0]);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int output = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (input < 0 || output < 0) {
        close(input);
        close(output);
        throw std::runtime_error("cannot open " + logPath + " for " + argv[0]);
    }
    const pid_t parent = getpid();

    pid = fork();
    if (pid == 0) {
        // A test that crashes or is killed takes its servers with it.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent)
            _exit(127);
        dup2(input, STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
        execv(program.c_str(), args.data());
        _exit(127);
    }
    const int error = errno;
    close(input);
    close(output);
    if (pid < 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
}

ChildProcess::~ChildProcess()
{
    Stop();
}

bool ChildProcess::Reap(int options)
{
    if (ended)
        return true;
    int status = 0;
    if (waitpid(pid, &status, options) != pid)
        return false;
    ended = true;
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

bool ChildProcess::Running()
{
    return !Reap(WNOHANG);
}

int ChildProcess::Wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(kPollInterval);
    }
    return exitStatus;
}

void ChildProcess::Stop()
{
    if (!Running())
        return;
    kill(pid, SIGTERM);
    if (Wait(std::chrono::seconds(5)) == -1) {
        kill(pid, SIGKILL);
        Reap(0);
    }
}

int RunProgram(const std::vector<std::string>& argv, const std::string& logPath, std::chrono::milliseconds timeout)
{
    ChildProcess process(argv, logPath);
    return process.Wait(timeout);
}

} // namespace VantorTest
