#ifndef TESTS_SUPPORT_LINESUBSCRIBER_H
#define TESTS_SUPPORT_LINESUBSCRIBER_H

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

// Subscribes to a text signal such as the log. Counts the lines it receives, notes each one
// as prefix + line in a journal when given one, and counts calls that overlap one another or
// that come once its destruction has begun. Like every subscriber whose slot runs on other
// threads, it disconnects in its own destructor before any of its members is gone.
class LineSubscriber : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    typedef sigslot::signal1<std::string, sigslot::multi_threaded_local> TextSignal;

    LineSubscriber(TextSignal& signal, SlotFaults& faults, Journal* journal = nullptr, std::string prefix = "")
        : mFaults(faults)
        , mJournal(journal)
        , mPrefix(std::move(prefix))
    {
        signal.connect(this, &LineSubscriber::OnLine);
    }

    ~LineSubscriber() override
    {
        disconnect_all();
        mAlive = false;
    }

    void OnLine(std::string line)
    {
        if (!mAlive)
            ++mFaults.halfDestroyed;
        if (mInside.exchange(true))
            ++mFaults.overlapping;
        if (mJournal)
            mJournal->Add(mPrefix + line);
        mInside = false;
        mReceived.Increment();
    }

    int Received() { return mReceived.Value(); }
    bool WaitForLines(int count) { return mReceived.WaitFor(count); }

private:
    SlotFaults& mFaults;
    Journal* mJournal;
    const std::string mPrefix;
    std::atomic<bool> mAlive{true};
    std::atomic<bool> mInside{false};
    Counter mReceived;
};

} // namespace VantorTest

#endif
