// The queue-file import fed with arbitrary files. Each input is imported as it is; when it
// holds a plain document, that document is imported a second time encrypted, so the
// decrypting road sees documents too and not only bytes that fail to decode.

#include "core/data/CryptoUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/net/Download.h"
#include "core/reporting/ReportService.h"
#include "downloader/model/DownloadModel.h"
#include "tests/support/TempDirectory.h"

#include <cstdint>

using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility;
using VantorTest::TemporaryFileWith;

namespace {

// The tests' temporary home, in memory when /dev/shm exists and removed at exit. Its music
// folder is a plain file, so every queued download ends at once with a local error and
// nothing is written on disk but the playlist database (and a saved queue's paths never
// name a file there).
struct FuzzHome {
    FuzzHome()
    {
        VantorTest::WriteFile(home.File("Vantor MP3"), "");
        // Downloads name their states through the translations, as in the program: none
        // installed, the English texts.
        Vantor::Localization::TranslationService::Initialize(home.Path(), "en_US");
        // A queue file's own report flags may call for a report: none leaves this machine.
        Vantor::Reporting::ReportService::ClearPending();
        // Every transfer (a fuzzed location may name any host) goes to a proxy on a closed
        // port of this machine, so it fails at once and no host name is ever looked up.
        Vantor::Net::Download::SetProxyHost(
            Vantor::Net::Download::ProxyHost(Vantor::Net::Download::ProxyHost::HTTP, "127.0.0.1", 1, "", ""));
    }
    const bool inMemory = access("/dev/shm", W_OK) == 0 && setenv("TMPDIR", "/dev/shm", 1) == 0;
    VantorTest::ScopedHome home;
};

void Import(FILE* file)
{
    DownloadModel model(LinuxFilesystemUtility::NewInstance());
    model.AddTracks(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzHome fuzzHome;
    const std::string contents(reinterpret_cast<const char*>(data), size);
    Import(TemporaryFileWith(contents).get());
    if (contents.find("<playlist") != std::string::npos) {
        VantorTest::OpenFile encrypted(std::tmpfile());
        Vantor::Data::CryptoUtility::EncryptVLXFile(encrypted.get(), contents);
        std::rewind(encrypted.get());
        Import(encrypted.get());
    }
    // Each input starts from an empty playlist library.
    std::remove(fuzzHome.home.File(".vantormp3/vantormp3.db").c_str());
    return 0;
}
