#include "downloader/model/StartGate.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader {

void StartGate::Hold()
{
    boost::mutex::scoped_lock lock(mutex);
    ++holds;
}

void StartGate::Release()
{
    {
        boost::mutex::scoped_lock lock(mutex);
        --holds;
    }
    changed.notify_all();
}

void StartGate::Stop()
{
    boost::mutex::scoped_lock lock(mutex);
    stopped = true;
}

void StartGate::Allow()
{
    {
        boost::mutex::scoped_lock lock(mutex);
        stopped = false;
    }
    changed.notify_all();
}

void StartGate::Close()
{
    {
        boost::mutex::scoped_lock lock(mutex);
        closed = true;
    }
    changed.notify_all();
}

bool StartGate::Held() const
{
    boost::mutex::scoped_lock lock(mutex);
    return holds > 0;
}

bool StartGate::Await(bool held)
{
    boost::mutex::scoped_lock lock(mutex);
    changed.wait(lock, [&] { return closed || (!stopped && (!held || holds == 0)); });
    return !closed;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
