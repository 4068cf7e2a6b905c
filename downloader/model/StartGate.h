#ifndef DOWNLOADER_MODEL_STARTGATE_H
#define DOWNLOADER_MODEL_STARTGATE_H

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// When the downloads queued for the worker may begin their runs. A start asked for while a
// hold is on waits, when its turn comes, until no hold is left; while stopped, no start goes
// ahead, whenever it was asked for; once closed, every waiting start is given up. Any thread.
class StartGate {
public:
    // Holds nest: the starts go ahead once each hold is released.
    void Hold();
    void Release();
    void Stop();
    void Allow();
    // For good.
    void Close();
    // Whether a start asked for now waits for the holds.
    bool Held() const;
    // Waits until a start asked for while `held` may go ahead; false when it is given up.
    bool Await(bool held);

private:
    mutable boost::mutex mutex;
    boost::condition_variable changed;
    unsigned holds = 0;
    bool stopped = false;
    bool closed = false;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
