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
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VantorTest {

// Long enough never to run out on a loaded machine or under a sanitizer; reached only when
// something is broken.
constexpr std::chrono::seconds kWaitLimit(20);

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

    // Waits until `holds` is true of the entries; false when the wait limit ran out.
    bool WaitUntil(const std::function<bool(const std::vector<std::string>&)>& holds)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        return mChanged.wait_for(lock, kWaitLimit, [&] { return holds(mEntries); });
    }

    // Waits until `entry` has been added `times` times; false when the wait limit ran out.
    bool WaitFor(const std::string& entry, int times = 1)
    {
        return WaitUntil([&](const std::vector<std::string>& entries) {
            return std::count(entries.begin(), entries.end(), entry) >= times;
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
        , mReturned(std::async(std::launch::async, std::move(call)))
    {
    }

    ~BackgroundCall() { Join(); }

    bool HasReturned() { return mReturned.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }

    void Join()
    {
        if (mReturned.valid() && mReturned.wait_for(kWaitLimit) != std::future_status::ready) {
            std::fprintf(stderr, "hung: %s\n", mWhat);
            std::abort();
        }
    }

private:
    const char* mWhat;
    std::future<void> mReturned;
};

// Makes the same call over and over on a thread of its own until it goes away.
class RepeatingCall {
public:
    explicit RepeatingCall(std::function<void()> call)
        : mThread([this, call] {
            while (!mStop) {
                call();
                std::lock_guard<std::mutex> lock(mMutex);
                ++mCalls;
                mCalled.notify_all();
            }
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

    // Waits until the call has been made `count` more times; false when the wait limit ran out.
    bool WaitForMoreCalls(long count)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        const long target = mCalls + count;
        return mCalled.wait_for(lock, kWaitLimit, [&] { return mCalls >= target; });
    }

private:
    std::atomic<bool> mStop{false};
    std::mutex mMutex;
    std::condition_variable mCalled;
    long mCalls = 0;
    std::thread mThread;
};

} // namespace VantorTest

#endif
