#ifndef TESTS_CORE_NET_TRANSFERTESTSUPPORT_H
#define TESTS_CORE_NET_TRANSFERTESTSUPPORT_H

#include "core/net/Download.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace VantorTest {

// Everything a transfer announces through its four signals, from whichever thread.
class DownloadListener : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    typedef std::pair<Vantor::Net::Download::Progress, long long> ProgressReport;

    explicit DownloadListener(Vantor::Net::Download& download);
    ~DownloadListener() override { disconnect_all(); }

    int Started() const { return Locked(started); }
    int Finished() const { return Locked(finished); }
    std::vector<Vantor::Net::Download::State> States() const { return Locked(states); }
    std::vector<ProgressReport> ProgressReports() const { return Locked(progress); }
    // Waits for the first progress report; false when `timeout` passed first.
    bool WaitForProgress(std::chrono::milliseconds timeout) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, [this] { return !progress.empty(); });
    }

    void OnStarted(Vantor::Net::Download&) { Locked([this] { ++started; }); }
    void OnStateChanged(Vantor::Net::Download&, Vantor::Net::Download::State state)
    {
        Locked([&] { states.push_back(state); });
    }
    void OnProgressChanged(Vantor::Net::Download&, Vantor::Net::Download::Progress kind, long long value)
    {
        Locked([&] { progress.emplace_back(kind, value); });
        changed.notify_all();
    }
    void OnFinished(Vantor::Net::Download&) { Locked([this] { ++finished; }); }

private:
    template <typename T>
    T Locked(const T& value) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return value;
    }
    template <typename Change>
    void Locked(Change change)
    {
        std::lock_guard<std::mutex> lock(mutex);
        change();
    }

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    int started = 0;
    int finished = 0;
    std::vector<Vantor::Net::Download::State> states;
    std::vector<ProgressReport> progress;
};

// `size` bytes that differ from file to file (`seed`) and repeat nowhere nearby.
std::string TestBytes(size_t size, unsigned seed);

// Runs one transfer of `download` into the file at `path`, which is created when missing and
// otherwise resumed from its size, as the download queue does.
void DownloadIntoFile(Vantor::Net::Download& download, const std::string& path);

} // namespace VantorTest

#endif
