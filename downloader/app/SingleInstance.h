#ifndef DOWNLOADER_APP_SINGLEINSTANCE_H
#define DOWNLOADER_APP_SINGLEINSTANCE_H

#include <boost/thread/thread.hpp>
#include <sigc++/signal.h>

#include <sys/types.h>

#include <memory>
#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// One running instance per user. The first process to lock "lock" in the settings directory
// becomes the running instance and listens on the FIFO "pipe" beside it; a later launch finds
// the lock taken and sends its command line through the FIFO instead. Each message is its
// text followed by one 0xFF byte, written in one go; the running instance emits every message
// it receives on the GTK main thread.
class SingleInstance {
public:
    enum InstanceStatus : int { NotStarted = 0, MainInstance = 1, OtherInstanceRunning = 2, LockFileError = 3, PipeError = 4 };

    // Ends every message, so no message can hold it.
    static constexpr char kEndByte = '\xFF';

    // The process's guard, built before main. Tests build their own in a temporary HOME.
    static SingleInstance sInstance;

    // Finds the settings directory (making it when missing) and the paths of its two files.
    SingleInstance();
    // Stops the listener, closes both files; they stay on disk. In a child process forked from
    // the running instance it only closes the child's copies: the listener is the parent's.
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process has become the running instance; Status() says why not.
    bool StartAsMainInstance();
    InstanceStatus Status() const { return status; }

    // True when the whole message and its end byte were written. Gives up, false, when
    // nothing reads the FIFO.
    bool SendMainInstanceMessage(const std::string& message);

    // The listener thread's body: reads messages until the guard is destroyed.
    void NamedPipeReadProc();

    // Emitted on the main thread once per message received, in the order they were written.
    sigc::signal<void, std::string> AnotherInstanceMessageSignal;

private:
    void DeliverMessage(const std::string& message);

    std::string lockPath;
    std::string pipePath;
    int lockDescriptor;
    int pipeDescriptor;
    // Written to by the destructor to wake the listener from its wait.
    int stopDescriptor;
    InstanceStatus status;
    std::unique_ptr<boost::thread> listener;
    // The process the listener runs in.
    pid_t listenerProcess;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
