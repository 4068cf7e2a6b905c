#ifndef TESTS_SUPPORT_THREADSYNC_H
#define TESTS_SUPPORT_THREADSYNC_H

// Meeting points for tests that run real threads. Every wait is bounded: a broken program
// fails its test instead of hanging the run.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace VantorTest {

// Long enough never to run out on a loaded machine or under a sanitizer; reached only when
// something is broken.
constexpr std::chrono::seconds kWaitLimit(20);

// Opens once and stays open.
class Latch {
public:
    void Open()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mOpen = true;
        mOpened.notify_all();
    }

    // True when the latch is open, false when the wait limit ran out.
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        return mOpened.wait_for(lock, kWaitLimit, [this] { return mOpen; });
    }

    bool IsOpen()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mOpen;
    }

private:
    std::mutex mMutex;
    std::condition_variable mOpened;
    bool mOpen = false;
};

// Entries noted by any thread, in the order they came: what a test's threads did and when
// the test stepped in.
class Journal {
public:
    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mEntries.push_back(entry);
        mChanged.notify_all();
    }

    // Waits until `entry` has been added `times` times, or any entry when `entry` is empty;
    // false when the wait limit ran out.
    bool WaitFor(const std::string& entry, int times = 1)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        return mChanged.wait_for(lock, kWaitLimit, [&] {
            return entry.empty() ? !mEntries.empty() : std::count(mEntries.begin(), mEntries.end(), entry) >= times;
        });
    }

    int Count(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return static_cast<int>(std::count(mEntries.begin(), mEntries.end(), entry));
    }

    std::vector<std::string> Entries()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mEntries;
    }

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::vector<std::string> mEntries;
};

// Runs a call on a thread of its own. Join (or the destructor) waits for it to return; a
// call still running after the wait limit is a hang that can't be undone from here, so the
// test binary ends with a message rather than stalling the run.
class BackgroundCall {
public:
    BackgroundCall(std::function<void()> call, const char* what)
        : mWhat(what)
        , mThread([this, call] {
            call();
            mReturned.Open();
        })
    {
    }

    ~BackgroundCall() { Join(); }

    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;

    bool HasReturned() { return mReturned.IsOpen(); }

    void Join()
    {
        if (!mThread.joinable())
            return;
        if (!mReturned.Wait()) {
            std::fprintf(stderr, "hung: %s\n", mWhat);
            std::abort();
        }
        mThread.join();
    }

private:
    const char* mWhat;
    Latch mReturned;
    std::thread mThread;
};

// Makes the same call over and over on a thread of its own until it goes away.
class RepeatingCall {
public:
    explicit RepeatingCall(std::function<void()> call)
        : mThread([this, call] {
            while (!mStop)
                call();
        })
    {
    }

    ~RepeatingCall()
    {
        mStop = true;
        mThread.join();
    }

    RepeatingCall(const RepeatingCall&) = delete;
    RepeatingCall& operator=(const RepeatingCall&) = delete;

private:
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

} // namespace VantorTest

#endif
