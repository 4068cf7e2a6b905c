#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace VantorTest {

namespace {

const std::chrono::milliseconds kPollInterval(10);

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& logPath)
    : pid(-1), ended(false), exitStatus(-1)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
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
