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
    explicit DownloadListener(Vantor::Net::Download& download);
    ~DownloadListener() override;

    int Started() const;
    int Finished() const;
    std::vector<Vantor::Net::Download::State> States() const;
    std::vector<std::pair<Vantor::Net::Download::Progress, long long>> ProgressReports() const;
    // Waits for the first progress report; false when `timeout` passed first.
    bool WaitForProgress(std::chrono::milliseconds timeout) const;

    void OnStarted(Vantor::Net::Download& download);
    void OnStateChanged(Vantor::Net::Download& download, Vantor::Net::Download::State state);
    void OnProgressChanged(Vantor::Net::Download& download, Vantor::Net::Download::Progress kind, long long value);
    void OnFinished(Vantor::Net::Download& download);

private:
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    int started = 0;
    int finished = 0;
    std::vector<Vantor::Net::Download::State> states;
    std::vector<std::pair<Vantor::Net::Download::Progress, long long>> progress;
};

// `size` bytes that differ from file to file (`seed`) and repeat nowhere nearby.
std::string TestBytes(size_t size, unsigned seed);

// Runs one transfer of `download` into the file at `path`, which is created when missing and
// otherwise resumed from its size, as the download queue does.
void DownloadIntoFile(Vantor::Net::Download& download, const std::string& path);

// Reads a test's translations from `directory` with the current locale `locale`.
void UseTranslations(const std::string& directory, const std::string& locale);

} // namespace VantorTest

#endif
