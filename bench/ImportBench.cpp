// Imports an encrypted queue file of N tracks (default 10,000) and saves the queue of N
// downloads it gives, beside the floor: only decrypting the same file and parsing it with
// TinyXML. Each phase runs in a child process of its own and prints its wall time, CPU time,
// resident memory before it and the peak resident memory at its end. The music folder is
// blocked by a plain file, so the model's worker ends each queued download at once with a
// local error and never reaches the network. Usage: ImportBench [tracks]
#include "core/data/CryptoUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "downloader/model/DownloadModel.h"

#include "tests/support/QueueFile.h"
#include "tests/support/TempDirectory.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tinyxml.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

using Vantor::Data::CryptoUtility;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility;
using namespace VantorTest;

namespace {

double CpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

long PeakKiB()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmRSS:") == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

// An album of `tracks` tracks with every field a store's file has, and one playlist of all.
std::string AlbumXml(int tracks)
{
    QueueDocument document;
    QueuePlaylist all{"Whole album", {}};
    for (int i = 1; i <= tracks; ++i) {
        const std::string number = std::to_string(i);
        document.regular.push_back(QueueEntry{{{"location", "http://127.0.0.1:9/album/" + number + ".mp3?sig=abc.def"},
                                               {"title", "Track number " + number},
                                               {"creator", "The Band"},
                                               {"album", "The Long Album"},
                                               {"albumPrimaryArtist", "The Band"},
                                               {"image", "http://127.0.0.1:9/art.jpg"},
                                               {"duration", "215000"},
                                               {"fileSize", "5242880"},
                                               {"primaryGenre", "Rock"},
                                               {"trackNum", number},
                                               {"discNum", std::to_string(1 + i / 100)},
                                               {"trackType", "mp3"}},
                                              "B" + number});
        all.pcids.push_back("B" + number);
    }
    document.playlists.push_back(all);
    return document.Xml();
}

// Runs `setup`, then times `phase`, in a child process; prints one line of figures.
void Measure(const char* name, const std::function<void()>& setup, const std::function<void()>& phase)
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        setup();
        const long before = ResidentKiB();
        const double cpu = CpuSeconds();
        const auto started = std::chrono::steady_clock::now();
        phase();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("%-28s %8.3f s  %8.3f CPU s  RSS before %7.1f MiB  peak %7.1f MiB\n", name, seconds,
                    CpuSeconds() - cpu, before / 1024.0, PeakKiB() / 1024.0);
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("%s: the child failed (%d)\n", name, status);
}

} // namespace

int main(int argc, char** argv)
{
    const int tracks = argc > 1 ? std::atoi(argv[1]) : 10000;
    ScopedHome home;
    WriteFile(home.File("Vantor MP3"), "the music folder is blocked: nothing is downloaded\n");

    const std::string queueFile = home.File("album.vlx");
    {
        const std::string xml = AlbumXml(tracks);
        OpenFile out(std::fopen(queueFile.c_str(), "wb"));
        CryptoUtility::EncryptVLXFile(out.get(), xml);
        std::printf("%d tracks: %zu bytes of XML, %ld bytes encrypted\n", tracks, xml.size(), std::ftell(out.get()));
    }
    const auto open = [&] { return OpenFile(std::fopen(queueFile.c_str(), "rb")); };

    Measure("decrypt + TinyXML (floor)", [] {}, [&] {
        std::string text;
        CryptoUtility::DecryptVLXFile(open().get(), text);
        TiXmlDocument document;
        document.Parse(text.c_str());
        if (!document.FirstChildElement("playlist")) std::printf("the floor found no playlist\n");
    });

    std::unique_ptr<DownloadModel> model;
    const auto newModel = [&] {
        std::remove(home.File(".vantormp3/vantormp3.db").c_str());
        model.reset(new DownloadModel(LinuxFilesystemUtility::NewInstance()));
    };
    Measure("import (AddTracks)", newModel, [&] {
        if (!model->AddTracks(open().get()) || model->CountDownloads() != static_cast<unsigned>(tracks))
            std::printf("the import failed\n");
    });
    Measure("save (encrypted)", [&] {
        newModel();
        model->AddTracks(open().get());
    }, [&] {
        OpenFile saved(std::fopen(home.File("DownloadQueue.vlx").c_str(), "wb"));
        model->Save(saved.get());
    });
    return 0;
}
