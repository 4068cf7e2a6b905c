#include "downloader/app/MainThreadInvoke.h"

#include "core/diagnostic/Debug.h"

#include <exception>
#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

MainThreadInvoke MainThreadInvoke::sInstance;

namespace {

// How long one turn runs items. Measured with 10,000 tracks listed: turns of 2 to 8 ms list
// them equally fast, about twice as fast as one item a turn. Short, so the window answers input and
// paints at once; long beside the loop's own work between turns (layout, a paint).
const gint64 kTurnMicroseconds = 4000;

} // namespace

void MainThreadInvoke::InvokeAsync(boost::shared_ptr<IInvokable> item)
{
    if (PushWork(item))
        RequestTurn();
}

void MainThreadInvoke::InvokeSync(boost::shared_ptr<IInvokable> item)
{
    boost::shared_ptr<WaitCondition> wait(new WaitCondition);
    {
        boost::mutex::scoped_lock lock(waiterMutex);
        waiters[item] = wait;
    }
    // Held from before the item is queued until the wait starts: the main thread's
    // notification takes this mutex, so it can't come before we wait and be lost.
    boost::mutex::scoped_lock waitLock(wait->mutex);
    if (PushWork(item))
        RequestTurn();
    while (!wait->ran)
        wait->condition.wait(waitLock);
    boost::mutex::scoped_lock lock(waiterMutex);
    waiters.erase(item);
}

bool MainThreadInvoke::PushWork(boost::shared_ptr<IInvokable> item)
{
    boost::mutex::scoped_lock lock(queueMutex);
    workQueue.push_back(item);
    if (turnPending)
        return false;
    turnPending = true;
    return true;
}

boost::shared_ptr<MainThreadInvoke::IInvokable> MainThreadInvoke::PopWork(bool& requestTurn)
{
    boost::mutex::scoped_lock lock(queueMutex);
    requestTurn = false;
    if (workQueue.empty())
        return boost::shared_ptr<IInvokable>();
    boost::shared_ptr<IInvokable> item = workQueue.front();
    workQueue.pop_front();
    if (!workQueue.empty() && !turnPending)
        requestTurn = turnPending = true;
    return item;
}

void MainThreadInvoke::RequestTurn()
{
    // The default main context is the one GTK's main loop runs; adding to it is safe from
    // any thread and wakes the loop.
    g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &MainThreadInvoke::OnTurn, this, nullptr);
}

gboolean MainThreadInvoke::OnTurn(gpointer self)
{
    static_cast<MainThreadInvoke*>(self)->RunTurn();
    return G_SOURCE_REMOVE;
}

void MainThreadInvoke::RunTurn()
{
    {
        boost::mutex::scoped_lock lock(queueMutex);
        turnPending = false;
    }
    const gint64 end = g_get_monotonic_time() + kTurnMicroseconds;
    do {
        bool requestTurn = false;
        const boost::shared_ptr<IInvokable> item = PopWork(requestTurn);
        // Drained, here or by a main loop that an earlier item ran: the next item's producer
        // asks for a turn.
        if (!item)
            return;
        if (requestTurn)
            RequestTurn();
        Run(item);
    } while (g_get_monotonic_time() < end);
}

void MainThreadInvoke::Run(const boost::shared_ptr<IInvokable>& item)
{
    // An item that throws anyway must not leave its synchronous caller waiting for ever.
    try {
        item->Invoke();
    } catch (const std::exception& error) {
        Vantor::Diagnostic::Debug::LogString(std::string("MainThreadInvoke: work item failed: ") + error.what());
    } catch (...) {
        Vantor::Diagnostic::Debug::LogString("MainThreadInvoke: work item failed");
    }

    boost::shared_ptr<WaitCondition> wait;
    {
        boost::mutex::scoped_lock lock(waiterMutex);
        const auto found = waiters.find(item);
        if (found != waiters.end())
            wait = found->second;
    }
    if (wait) {
        boost::mutex::scoped_lock lock(wait->mutex);
        wait->ran = true;
        wait->condition.notify_one();
    }
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
