#ifndef TESTS_SUPPORT_CHILDPROCESS_H
#define TESTS_SUPPORT_CHILDPROCESS_H

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace VantorTest {

// A program started by a test and stopped by its own process id, never by name. Should the
// test end without stopping it (a crash, a sanitizer's halt, a time-out's kill), the program
// gets SIGTERM when the thread that started it ends: start servers from the test's main
// thread.
class ChildProcess {
public:
    // Starts argv[0] (looked up in PATH) with standard output and error appended to `logPath`.
    // Throws std::runtime_error when the program can't be started.
    ChildProcess(const std::vector<std::string>& argv, const std::string& logPath);
    // Stop().
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid; }
    bool Running();
    // Waits up to `timeout` for the program to end by itself. Its exit status (128 + signal
    // number when a signal ended it), or -1 when it still runs.
    int Wait(std::chrono::milliseconds timeout);
    // SIGTERM, then SIGKILL when it has not ended within five seconds; reaps it.
    void Stop();

private:
    bool Reap(int options);

    pid_t pid;
    bool ended;
    int exitStatus;
};

// Runs a program to its end. Its exit status, or -1 when it did not end within `timeout`
// (it is then killed).
int RunProgram(const std::vector<std::string>& argv, const std::string& logPath,
               std::chrono::milliseconds timeout = std::chrono::seconds(30));

} // namespace VantorTest

#endif
