// Imports an encrypted queue file of N tracks (default 10,000) and saves the queue of N
// downloads it gives, each beside its floor: for the import, only decrypting the same file and
// parsing it with TinyXML; for the save, only encrypting and encoding the text the save wrote
// (the project's own EncryptString and Base64Encode) and writing it. Each phase runs in a child
// process of its own and reports its wall time, CPU time, resident memory before it and the
// peak resident memory it added. The music folder is blocked by a plain file, so the model's
// worker ends each queued download at once with a local error and never reaches the network;
// the save waits until the worker is idle and times a second save; the clear removes all those
// failed downloads. Usage: ImportBench [tracks]
#include "core/data/CryptoUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "downloader/model/DownloadModel.h"

#include "tests/support/QueueFile.h"
#include "tests/support/TempDirectory.h"

#include <malloc.h>
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
#include <thread>

using Vantor::Data::CryptoUtility;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility;
using namespace VantorTest;

namespace {

struct Figures {
    double seconds = 0;
    double cpuSeconds = 0;
    long beforeKiB = 0;
    long peakAboveKiB = 0;
};

double CpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// A line of /proc/self/status in KiB: "VmRSS" now, "VmHWM" the peak.
long StatusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, field.size() + 1, field + ":") == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    return 0;
}

// Sets the peak resident memory back to the present one, so that the peak seen after a phase
// is that phase's own and not the setup's.
void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
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

// Runs `setup`, then times `phase`, in a child process, which hands its figures back.
Figures Measure(const char* name, const std::function<void()>& setup, const std::function<void()>& phase)
{
    int channel[2];
    if (pipe(channel) != 0) std::abort();
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        setup();
        // Memory the setup freed goes back, so that the phase's own shows in the peak.
        malloc_trim(0);
        Figures figures;
        ResetPeak();
        figures.beforeKiB = StatusKiB("VmRSS");
        const double cpu = CpuSeconds();
        const auto started = std::chrono::steady_clock::now();
        phase();
        figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        figures.cpuSeconds = CpuSeconds() - cpu;
        figures.peakAboveKiB = StatusKiB("VmHWM") - figures.beforeKiB;
        const bool written = write(channel[1], &figures, sizeof figures) == sizeof figures;
        _exit(written ? 0 : 1);
    }
    close(channel[1]);
    Figures figures;
    const bool read = ::read(channel[0], &figures, sizeof figures) == sizeof figures;
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!read || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("%s: the child failed (%d)\n", name, status);
        std::exit(1);
    }
    return figures;
}

// One line of figures; `floor` adds the ratio of the wall times.
void Print(const char* name, const Figures& figures, const Figures* floor = nullptr)
{
    std::printf("%-34s %7.3f s  %7.3f CPU s  RSS before %7.1f MiB  peak +%6.1f MiB", name, figures.seconds,
                figures.cpuSeconds, figures.beforeKiB / 1024.0, figures.peakAboveKiB / 1024.0);
    if (floor) std::printf("  ratio %.2f", figures.seconds / floor->seconds);
    std::printf("\n");
}

long FileSize(const std::string& path)
{
    OpenFile file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return -1;
    return std::ftell(file.get());
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
    const auto open = [&](const std::string& path) { return OpenFile(std::fopen(path.c_str(), "rb")); };

    const Figures parseFloor = Measure("decrypt + parse", [] {}, [&] {
        std::string text;
        CryptoUtility::DecryptVLXFile(open(queueFile).get(), text);
        TiXmlDocument document;
        document.Parse(text.c_str());
        if (!document.FirstChildElement("playlist")) std::printf("the floor found no playlist\n");
    });

    std::unique_ptr<DownloadModel> model;
    const auto newModel = [&] {
        std::remove(home.File(".vantormp3/vantormp3.db").c_str());
        model.reset(new DownloadModel(LinuxFilesystemUtility::NewInstance()));
    };
    const Figures import = Measure("import", newModel, [&] {
        if (model->AddTracks(open(queueFile).get()) != DownloadModel::ImportResult::Added || model->CountDownloads() != static_cast<unsigned>(tracks))
            std::printf("the import failed\n");
    });

    const std::string savedFile = home.File("DownloadQueue.vlx");
    // A model whose downloads have all ended, in a local error.
    const auto endedModel = [&] {
        newModel();
        model->AddTracks(open(queueFile).get());
        while (model->HasActiveDownloads())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // The last download's end (reports, signals) follows its state change.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    };
    const Figures save = Measure("save", [&] {
        endedModel();
        // The program saves the queue right after the import, then after every download:
        // this times one of the later saves, whose downloads already hold their saved state.
        OpenFile first(std::fopen(savedFile.c_str(), "wb"));
        model->Save(first.get());
    }, [&] {
        OpenFile saved(std::fopen(savedFile.c_str(), "wb"));
        model->Save(saved.get());
    });

    const Figures clear = Measure("clear", endedModel, [&] {
        model->ClearErroneous();
        if (model->CountDownloads() != 0)
            std::printf("the clear left downloads\n");
    });

    std::string text;
    const Figures saveFloor = Measure("encrypt + encode + write", [&] {
        CryptoUtility::DecryptVLXFile(open(savedFile).get(), text);
    }, [&] {
        std::string cipherText, encoded;
        CryptoUtility::EncryptString(text, cipherText);
        CryptoUtility::Base64Encode(cipherText.data(), static_cast<int>(cipherText.size()), encoded);
        OpenFile out(std::fopen(home.File("floor.vlx").c_str(), "wb"));
        std::fwrite(encoded.data(), 1, encoded.size(), out.get());
    });

    Print("decrypt + TinyXML (import floor)", parseFloor);
    Print("import (AddTracks)", import, &parseFloor);
    Print("encrypt + encode + write (floor)", saveFloor);
    const long savedBytes = FileSize(savedFile);
    if (savedBytes != FileSize(home.File("floor.vlx"))) std::printf("the floor wrote a file of another size\n");
    std::printf("save writes %ld bytes; its peak above the model is %.2f x that\n", savedBytes,
                save.peakAboveKiB * 1024.0 / savedBytes);
    Print("save (encrypted)", save, &saveFloor);
    Print("clear (all failed)", clear);
    return 0;
}
