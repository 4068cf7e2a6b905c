#include "downloader/app/SingleInstance.h"

#include "tests/support/gui/MainLoop.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <sigc++/trackable.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

using Vantor::DigitalMedia::MusicClient::Downloader::SingleInstance;

namespace {

const std::string kLauncher = INSTANCE_LAUNCHER;

// A temporary HOME and the paths of the guard's files in it.
class GuardHome : public VantorTest::ScopedHome {
public:
    std::string Settings(const std::string& name) const { return File(".vantormp3/" + name); }
};

// Collects the messages a guard emits and notes whether each came on this (the main) thread.
class Receiver : public sigc::trackable {
public:
    explicit Receiver(SingleInstance& guard)
    {
        guard.AnotherInstanceMessageSignal.connect(sigc::mem_fun(*this, &Receiver::OnMessage));
    }

    // Runs the main loop until `count` messages have come; fewer when the wait limit ran out.
    std::vector<std::string> WaitFor(size_t count)
    {
        VantorTest::RunMainLoopUntil([&] { return messages.size() >= count; });
        return messages;
    }

    int offMainThread = 0;

private:
    void OnMessage(std::string message)
    {
        if (std::this_thread::get_id() != mainThread)
            ++offMainThread;
        messages.push_back(message);
    }

    const std::thread::id mainThread = std::this_thread::get_id();
    std::vector<std::string> messages;
};

// The exit status of a forked child; -1 (and the child killed) when it has not ended in time.
int WaitForChild(pid_t child)
{
    const auto deadline = std::chrono::steady_clock::now() + VantorTest::kWaitLimit;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SingleInstanceTest : public VantorTest::MainLoopTest {
};

} // namespace

TEST_F(SingleInstanceTest, ALaterLaunchSendsItsArgumentsWhichArriveInOrderOnTheMainLoop)
{
    GuardHome home;
    SingleInstance guard;
    Receiver receiver(guard);
    ASSERT_TRUE(guard.StartAsMainInstance());
    EXPECT_EQ(SingleInstance::MainInstance, guard.Status());
    struct stat pipe;
    ASSERT_EQ(0, stat(home.Settings("pipe").c_str(), &pipe));
    EXPECT_TRUE(S_ISFIFO(pipe.st_mode));

    // Longer than the FIFO holds, so it is read in many pieces while it is being written.
    std::string longArgument;
    for (int i = 0; longArgument.size() < 100000; ++i)
        longArgument += std::to_string(i) + ",";
    const std::vector<std::string> launch = {kLauncher, "", "/home/u/M\xC3\xBCsik/Bj\xC3\xB6rk.vlx",
                                             "\x80\x81\xC0\xFE", longArgument, "--last"};
    EXPECT_EQ(0, VantorTest::RunProgram(launch, home.File("launcher.log"), VantorTest::kWaitLimit))
        << VantorTest::ReadFile(home.File("launcher.log"));

    std::vector<std::string> expected = launch;
    EXPECT_EQ(expected, receiver.WaitFor(expected.size()));

    // Writes that carry two messages, or a piece of one, are cut at the end bytes.
    const int fifo = open(home.Settings("pipe").c_str(), O_WRONLY);
    ASSERT_NE(-1, fifo);
    for (const std::string& chunk : {std::string("one\xFFtwo\xFF"), std::string("spl"), std::string("it\xFF\xFF")})
        ASSERT_EQ(ssize_t(chunk.size()), write(fifo, chunk.data(), chunk.size()));
    close(fifo);
    expected.insert(expected.end(), {"one", "two", "split", ""});
    EXPECT_EQ(expected, receiver.WaitFor(expected.size()));
    EXPECT_EQ(0, receiver.offMainThread);
}

// The lock goes with its process, however that ends: the next launch becomes the running
// instance on a FIFO of its own.
TEST_F(SingleInstanceTest, TheNextLaunchTakesOverOnceTheRunningInstanceIsGone)
{
    GuardHome home;
    const std::string log = home.File("launcher.log");
    ino_t stalePipe = 0;
    {
        VantorTest::ChildProcess running({kLauncher}, log);
        const auto deadline = std::chrono::steady_clock::now() + VantorTest::kWaitLimit;
        while (VantorTest::ReadFile(log).find("running instance") == std::string::npos) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the launcher never became the running instance";
            ASSERT_TRUE(running.Running());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        SingleInstance later;
        EXPECT_FALSE(later.StartAsMainInstance());
        EXPECT_EQ(SingleInstance::OtherInstanceRunning, later.Status());
        // A second name keeps the stale FIFO's inode from being handed out again.
        ASSERT_EQ(0, link(home.Settings("pipe").c_str(), home.Settings("stale").c_str()));
        struct stat pipe;
        ASSERT_EQ(0, stat(home.Settings("stale").c_str(), &pipe));
        stalePipe = pipe.st_ino;
        running.Stop();
    }

    SingleInstance next;
    Receiver receiver(next);
    ASSERT_TRUE(next.StartAsMainInstance());
    struct stat pipe;
    ASSERT_EQ(0, stat(home.Settings("pipe").c_str(), &pipe));
    EXPECT_NE(stalePipe, pipe.st_ino);

    SingleInstance sender;
    EXPECT_FALSE(sender.StartAsMainInstance());
    EXPECT_TRUE(sender.SendMainInstanceMessage("hello"));
    EXPECT_EQ(std::vector<std::string>{"hello"}, receiver.WaitFor(1));
}

// Files that can't serve leave the program running without the guard; a sender that finds
// nobody listening gives up at once instead of hanging the launch.
TEST_F(SingleInstanceTest, UnusableFilesLeaveTheProgramUnguarded)
{
    enum Setup { LockIsADirectory, PipeIsADirectory, NobodyListens };
    struct Case {
        Setup setup;
        SingleInstance::InstanceStatus first;
        SingleInstance::InstanceStatus second;
    };
    const Case cases[] = {
        {LockIsADirectory, SingleInstance::LockFileError, SingleInstance::LockFileError},
        {PipeIsADirectory, SingleInstance::PipeError, SingleInstance::OtherInstanceRunning},
        {NobodyListens, SingleInstance::OtherInstanceRunning, SingleInstance::OtherInstanceRunning},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup);
        GuardHome home;
        int heldLock = -1;
        switch (c.setup) {
        case LockIsADirectory:
            boost::filesystem::create_directories(home.Settings("lock"));
            break;
        case PipeIsADirectory:
            boost::filesystem::create_directories(home.Settings("pipe/inside"));
            break;
        case NobodyListens:
            boost::filesystem::create_directories(home.Settings(""));
            ASSERT_EQ(0, mkfifo(home.Settings("pipe").c_str(), 0700));
            heldLock = open(home.Settings("lock").c_str(), O_RDONLY | O_CREAT, 0700);
            ASSERT_EQ(0, flock(heldLock, LOCK_EX));
            break;
        }

        SingleInstance first;
        SingleInstance second;
        EXPECT_FALSE(first.StartAsMainInstance());
        EXPECT_EQ(c.first, first.Status());
        EXPECT_FALSE(second.StartAsMainInstance());
        EXPECT_EQ(c.second, second.Status());
        if (c.second == SingleInstance::OtherInstanceRunning) {
            bool sent = true;
            VantorTest::BackgroundCall send([&] { sent = second.SendMainInstanceMessage("lost"); }, "sending with nobody listening");
            send.Join();
            EXPECT_FALSE(sent);
        }
        if (heldLock != -1)
            close(heldLock);
    }
}

// The program's own children report through the descriptor they share with the running
// instance, and may end through exit(), which destroys their copy of the guard: that must
// leave the parent's listener running.
TEST_F(SingleInstanceTest, AForkedChildReportsThroughTheSharedFifoAndLeavesTheListenerRunning)
{
    GuardHome home;
    SingleInstance guard;
    Receiver receiver(guard);
    ASSERT_TRUE(guard.StartAsMainInstance());

    const pid_t child = fork();
    if (child == 0) {
        const bool sent = guard.SendMainInstanceMessage("--show-downloads-failed");
        guard.~SingleInstance();
        _exit(sent ? 0 : 1);
    }
    ASSERT_NE(-1, child);
    EXPECT_EQ(0, WaitForChild(child));

    SingleInstance later;
    EXPECT_FALSE(later.StartAsMainInstance());
    EXPECT_TRUE(later.SendMainInstanceMessage("still listening"));
    EXPECT_EQ((std::vector<std::string>{"--show-downloads-failed", "still listening"}), receiver.WaitFor(2));
}
