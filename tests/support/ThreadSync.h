#ifndef TESTS_SUPPORT_THREADSYNC_H
#define TESTS_SUPPORT_THREADSYNC_H

// Meeting points for tests that run real threads or programs, and the log they write. Every
// wait is bounded: a broken program fails its test instead of hanging the run.

#include "core/diagnostic/Debug.h"
#include "core/sigslot/sigslot.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VantorTest {

// Reached only when something is broken, never on a loaded machine or under a sanitizer.
constexpr std::chrono::seconds kWaitLimit(20);

// The one polling loop, for what nothing announces (a file, a port, a child's end, a count):
// checks `done` every 10 ms; false when `timeout` passed first.
inline bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kWaitLimit)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    return true;
}

class Journal {
public:
    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mEntries.push_back(entry);
        mChanged.notify_all();
    }
    bool WaitUntil(const std::function<bool(const std::vector<std::string>&)>& holds)
    {
        std::unique_lock<std::mutex> lock(mMutex);
        return mChanged.wait_for(lock, kWaitLimit, [&] { return holds(mEntries); });
    }
    bool WaitFor(const std::string& entry, int times = 1)
    {
        return WaitUntil([&](const std::vector<std::string>& all) { return std::count(all.begin(), all.end(), entry) >= times; });
    }
    int Count(const std::string& entry)
    {
        const std::vector<std::string> all = Entries();
        return static_cast<int>(std::count(all.begin(), all.end(), entry));
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

// A call on a thread of its own. One still running after the wait limit is a hang that can't
// be undone from here: the binary ends with a message rather than stalling the run.
class BackgroundCall {
public:
    BackgroundCall(std::function<void()> call, const char* what) : mWhat(what), mReturned(std::async(std::launch::async, call)) {}
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

class RepeatingCall {
public:
    explicit RepeatingCall(std::function<void()> call) : mThread([this, call] { for (; !mStop; ++mCalls) call(); }) {}
    ~RepeatingCall()
    {
        mStop = true;
        mThread.join();
    }
    bool WaitForMoreCalls(long count)
    {
        const long target = mCalls + count;
        return PollUntil([&] { return mCalls >= target; });
    }

private:
    std::atomic<bool> mStop{false};
    std::atomic<long> mCalls{0};
    std::thread mThread;
};

// Holds the thread that emits `signal` for the `nth` time from now, inside that emission and so
// ahead of the slots connected after this one, until Release (at the latest as it goes).
template <class... Args>
class EmissionHold : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    EmissionHold(sigslot::_signal<sigslot::multi_threaded_local, Args...>& signal, int nth) : left(nth)
    {
        signal.connect(this, &EmissionHold::OnEmitted);
    }
    ~EmissionHold() override
    {
        Release();
        disconnect_all();
    }
    bool WaitHeld() { return journal.WaitFor("held"); }
    void Release() { std::call_once(released, [this] { release.set_value(); }); }

private:
    void OnEmitted(Args...)
    {
        if (--left == 0) {
            journal.Add("held");
            go.wait();
        }
    }

    std::atomic<int> left;
    std::once_flag released;
    std::promise<void> release;
    std::shared_future<void> go = release.get_future().share();
    Journal journal;
};

// Calls a log subscriber should never see, counted outside it so that one during its destruction counts.
struct SlotFaults {
    std::atomic<int> overlapping{0};
    std::atomic<int> halfDestroyed{0};
};

// Notes each log line as prefix + line. Like every subscriber whose slot runs on other threads,
// it disconnects in its own destructor before any of its members is gone.
class LogSubscriber : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    explicit LogSubscriber(Journal& journal, std::string prefix = "", SlotFaults* faults = nullptr)
        : mJournal(journal), mFaults(faults), mPrefix(std::move(prefix))
    {
        Vantor::Diagnostic::Debug::StringLoggedSignal().connect(this, &LogSubscriber::OnLine);
    }
    ~LogSubscriber() override
    {
        disconnect_all();
        mAlive = false;
    }
    void OnLine(std::string line)
    {
        if (mFaults && !mAlive)
            ++mFaults->halfDestroyed;
        if (mFaults && mInside.exchange(true))
            ++mFaults->overlapping;
        mJournal.Add(mPrefix + line);
        mInside = false;
    }

private:
    Journal& mJournal;
    SlotFaults* mFaults;
    const std::string mPrefix;
    std::atomic<bool> mAlive{true}, mInside{false};
};

class LogRecorder {
public:
    std::vector<std::string> Lines() const { return journal.Entries(); }
    std::vector<std::string> LinesContaining(const std::string& text) const
    {
        std::vector<std::string> found = Lines();
        found.erase(std::remove_if(found.begin(), found.end(), [&](const std::string& l) { return l.find(text) == l.npos; }), found.end());
        return found;
    }
    bool WaitForLine(const std::string& text) const
    {
        return journal.WaitUntil([&](const std::vector<std::string>& all) {
            return std::any_of(all.begin(), all.end(), [&](const std::string& l) { return l.find(text) != l.npos; });
        });
    }

private:
    mutable Journal journal;
    LogSubscriber subscriber{journal};
};

} // namespace VantorTest

#endif
