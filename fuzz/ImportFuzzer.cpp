// The queue-file import fed with arbitrary files. Each input is imported as it is; when it
// holds a plain document, that document is imported a second time encrypted, so the
// decrypting road sees documents too and not only bytes that fail to decode.

#include "core/data/CryptoUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/net/Download.h"
#include "core/reporting/ReportService.h"
#include "downloader/model/DownloadModel.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility;

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
typedef std::unique_ptr<FILE, FileCloser> OpenFile;

// A home of the fuzzer's own, in memory when /dev/shm exists. Its music folder is a plain
// file, so every queued download ends at once with a local error and nothing is written
// on disk but the playlist database (and a saved queue's paths never name a file there).
class FuzzHome {
public:
    FuzzHome()
    {
        char folder[] = "/dev/shm/import-fuzz-XXXXXX";
        char fallback[] = "/tmp/import-fuzz-XXXXXX";
        const char* made = mkdtemp(folder);
        if (!made) made = mkdtemp(fallback);
        if (!made) std::abort();
        path = made;
        setenv("HOME", path.c_str(), 1);
        std::fclose(std::fopen((path + "/Vantor MP3").c_str(), "w"));
        // Downloads name their states through the translations, as in the program: none
        // installed, the English texts.
        Vantor::Localization::TranslationService::Initialize(path, "en_US");
        // A queue file's own report flags may call for a report: none leaves this machine.
        Vantor::Reporting::ReportService::ClearPending();
        // Every transfer (a fuzzed location may name any host) goes to a proxy on a closed
        // port of this machine, so it fails at once and no host name is ever looked up.
        Vantor::Net::Download::SetProxyHost(
            Vantor::Net::Download::ProxyHost(Vantor::Net::Download::ProxyHost::HTTP, "127.0.0.1", 1, "", ""));
    }
    ~FuzzHome()
    {
        // Keep nothing behind: the database, its folder, the blocked music folder, the home.
        std::remove(Database().c_str());
        rmdir((path + "/.vantormp3/temp").c_str());
        rmdir((path + "/.vantormp3").c_str());
        std::remove((path + "/Vantor MP3").c_str());
        rmdir(path.c_str());
    }
    std::string Database() const { return path + "/.vantormp3/vantormp3.db"; }

private:
    std::string path;
};

OpenFile FileWith(const std::string& contents)
{
    OpenFile file(std::tmpfile());
    std::fwrite(contents.data(), 1, contents.size(), file.get());
    std::rewind(file.get());
    return file;
}

void Import(FILE* file)
{
    DownloadModel model(LinuxFilesystemUtility::NewInstance());
    model.AddTracks(file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzHome home;
    const std::string contents(reinterpret_cast<const char*>(data), size);
    Import(FileWith(contents).get());

    if (contents.find("<playlist") != std::string::npos) {
        OpenFile encrypted(std::tmpfile());
        Vantor::Data::CryptoUtility::EncryptVLXFile(encrypted.get(), contents);
        std::rewind(encrypted.get());
        Import(encrypted.get());
    }

    // Each input starts from an empty playlist library.
    std::remove(home.Database().c_str());
    return 0;
}
