#include "tests/core/net/TransferTestSupport.h"

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

} // namespace VantorTest
