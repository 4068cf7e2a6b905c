#ifndef TESTS_SUPPORT_LOGSUBSCRIBER_H
#define TESTS_SUPPORT_LOGSUBSCRIBER_H

#include "core/diagnostic/Debug.h"
#include "core/sigslot/sigslot.h"
#include "tests/support/ThreadSync.h"

#include <atomic>
#include <string>

namespace VantorTest {

// Calls a subscriber should never see. They are counted outside the subscribers, so that a
// call that comes while one is being destroyed can still be counted.
struct SlotFaults {
    std::atomic<int> overlapping{0};
    std::atomic<int> halfDestroyed{0};
};

// Subscribes to the log and notes each line as prefix + line in a journal. Counts calls
// that overlap one another or that come once its destruction has begun. Like every subscriber whose slot runs on other threads, it disconnects in its own
// destructor before any of its members is gone.
class LogSubscriber : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    explicit LogSubscriber(Journal& journal, std::string prefix = "", SlotFaults* faults = nullptr)
        : mJournal(journal)
        , mFaults(faults)
        , mPrefix(std::move(prefix))
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
    std::atomic<bool> mAlive{true};
    std::atomic<bool> mInside{false};
};

} // namespace VantorTest

#endif
