#ifndef DOWNLOADER_APP_SINGLEINSTANCE_H
#define DOWNLOADER_APP_SINGLEINSTANCE_H

#include <glibmm/main.h>
#include <sigc++/signal.h>

#include <sys/types.h>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// One running instance per user. The first process to lock the settings directory and the file
// "lock" in it becomes the running instance and listens on the FIFO "pipe" beside it; a later
// launch finds a lock taken and hands its command line over through the FIFO instead. Each
// message is its text followed by one 0xFF byte, written in one go, by one writer at a time.
//
// Two instances on one settings directory would import the same files and write over each
// other's queue, so the guard never lets a second one run: either lock alone decides when the
// other can't be used, and a running instance that can't listen keeps its locks.
//
// The running instance reads the FIFO on the GTK main thread, in its main loop, and emits each
// message as soon as it is read: a message read is a message handled. Once the main loop
// is over nothing reads any more, so what a later launch writes then stays in the FIFO, and
// the later launch, seeing it unread when the reader goes, takes the running instance's place.
class SingleInstance {
public:
    // MainInstance and PipeError are the running instance's, listening or not. LockFileError:
    // neither lock can be used (a folder in place of "lock" on a file system that can't lock
    // directories, say), so whether another instance runs can't be told.
    enum InstanceStatus : int { NotStarted = 0, MainInstance = 1, OtherInstanceRunning = 2, LockFileError = 3, PipeError = 4 };

    // Ends every message, so no message can hold it.
    static constexpr char kEndByte = '\xFF';

    // The process's guard, built before main. Tests build their own in a temporary HOME.
    static SingleInstance sInstance;

    // Finds the settings directory (making it when missing) and the paths of its two files.
    SingleInstance();
    // Releases the guard; the files stay on disk. In a child process forked from the running
    // instance it only closes the child's copies: the guard is the parent's.
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process has become the running instance; it then listens unless Status()
    // is PipeError. False with OtherInstanceRunning or LockFileError. May be called again after
    // the running instance has gone.
    bool StartAsMainInstance();
    InstanceStatus Status() const { return status; }

    // True when the whole message and its end byte were written. Waits for the other writers,
    // so that no message mixes with another, however long. Gives up, false, when nothing reads
    // the FIFO.
    bool SendMainInstanceMessage(const std::string& message);

    // A later launch's hand-over: sends every message and waits until the running instance has
    // read them all (true). False when it stops reading first, or nothing reads the FIFO: what
    // it did not read is then this process's to handle. A message holding the end byte would
    // arrive in pieces and is not sent.
    bool HandOver(const std::vector<std::string>& messages);

    // The running instance stops reading and lets go of the locks, so that a later launch
    // becomes the running instance at once. Called as the main loop ends.
    void Release();

    // Emitted on the main thread once per message received, in the order they were written.
    sigc::signal<void, std::string> AnotherInstanceMessageSignal;

private:
    // The main loop, whenever the FIFO holds bytes.
    bool OnPipeReadable(Glib::IOCondition condition);
    bool WaitUntilRead() const;

    std::string folderPath;
    std::string lockPath;
    std::string pipePath;
    int folderDescriptor;
    int lockDescriptor;
    int pipeDescriptor;
    InstanceStatus status;
    // The start of a message whose end byte has not arrived yet.
    std::string pending;
    sigc::connection listening;
    // The process the guard belongs to; a forked copy leaves it to that one.
    pid_t ownerProcess;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
