#include "tests/core/net/TransferTestSupport.h"

#include "core/localization/TranslationService.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <random>

namespace VantorTest {

using Vantor::Net::Download;

DownloadListener::DownloadListener(Download& download)
{
    download.StartedSignal.connect(this, &DownloadListener::OnStarted);
    download.StateChangedSignal.connect(this, &DownloadListener::OnStateChanged);
    download.ProgressChangedSignal.connect(this, &DownloadListener::OnProgressChanged);
    download.FinishedSignal.connect(this, &DownloadListener::OnFinished);
}

DownloadListener::~DownloadListener()
{
    disconnect_all();
}

int DownloadListener::Started() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return started;
}

int DownloadListener::Finished() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return finished;
}

std::vector<Download::State> DownloadListener::States() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return states;
}

std::vector<std::pair<Download::Progress, long long>> DownloadListener::ProgressReports() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return progress;
}

bool DownloadListener::WaitForProgress(std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, timeout, [this] { return !progress.empty(); });
}

void DownloadListener::OnStarted(Download&)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++started;
}

void DownloadListener::OnStateChanged(Download&, Download::State state)
{
    std::lock_guard<std::mutex> lock(mutex);
    states.push_back(state);
}

void DownloadListener::OnProgressChanged(Download&, Download::Progress kind, long long value)
{
    std::lock_guard<std::mutex> lock(mutex);
    progress.emplace_back(kind, value);
    changed.notify_all();
}

void DownloadListener::OnFinished(Download&)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++finished;
}

std::string TestBytes(size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xff);
    return bytes;
}

void DownloadIntoFile(Download& download, const std::string& path)
{
    close(open(path.c_str(), O_WRONLY | O_CREAT, 0644));
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    download.DownloadSync(file);
}

void UseTranslations(const std::string& directory, const std::string& locale)
{
    Vantor::Localization::TranslationService::Initialize(directory, locale);
}

} // namespace VantorTest
