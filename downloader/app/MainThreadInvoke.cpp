#include "downloader/app/MainThreadInvoke.h"

#include "core/diagnostic/Debug.h"

#include <exception>
#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

MainThreadInvoke MainThreadInvoke::sInstance;

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
    return workQueue.size() == 1;
}

boost::shared_ptr<MainThreadInvoke::IInvokable> MainThreadInvoke::PopWork(bool& more)
{
    boost::mutex::scoped_lock lock(queueMutex);
    boost::shared_ptr<IInvokable> item = workQueue.front();
    workQueue.pop_front();
    more = !workQueue.empty();
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
    static_cast<MainThreadInvoke*>(self)->RunOldestItem();
    return G_SOURCE_REMOVE;
}

void MainThreadInvoke::RunOldestItem()
{
    bool more = false;
    const boost::shared_ptr<IInvokable> item = PopWork(more);
    // The next item's turn is asked for before this one runs, so a main loop run from inside
    // the item (a modal dialog) goes on with the queue.
    if (more)
        RequestTurn();
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
