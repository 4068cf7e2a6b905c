// The program itself with a large queue of N downloads (default 10,000) in albums of A tracks
// (default ten), three ways, each in a home of its own: started with a queue file of N tracks
// on its command line; started again with a saved queue ("DownloadQueue.vlx") of N tracks; and
// running with an empty queue when a later launch hands it a queue file of N tracks. For each it prints
// when the window's main loop first ran, when every track row was listed, the longest stall
// of the main loop in between (how long the window could not repaint) and the resident size
// then. The saved queue also gets the longest stall while it downloads for ten seconds (every
// track is a small file from the local store stand-in, so a download starts and finishes, and
// the queue is saved, many times a second). Run it in an X server, after staging the program
// and building the probe: scripts/stage.sh, cmake --build build --target ProgramBench
// MainLoopProbe, then scripts/with-xvfb.sh build/bench/ProgramBench [downloads [album tracks]].
#include "core/data/CryptoUtility.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/QueueFile.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <thread>

using namespace VantorTest;

namespace {

const std::string kStore = "http://store.vantormp3.example";
// Long enough for the slowest listing measured so far to finish and be counted.
const std::chrono::seconds kListingLimit(1800);

long long NowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// `tracks` tracks in albums of `albumTracks`, named after `name`, all the same small file.
void WriteQueueFile(const std::string& path, const std::string& name, int tracks, int albumTracks)
{
    QueueDocument document;
    for (int i = 0; i < tracks; ++i)
        document.regular.push_back(QueueEntry{{{"location", kStore + "/track.mp3?n=" + std::to_string(i)},
                                               {"title", "Track " + std::to_string(i)},
                                               {"albumPrimaryArtist", name + " Band " + std::to_string(i / albumTracks / 10)},
                                               {"album", name + " Album " + std::to_string(i / albumTracks)},
                                               {"trackNum", std::to_string(i % albumTracks + 1)},
                                               {"trackType", "mp3"}},
                                              name + std::to_string(i)});
    OpenFile file(std::fopen(path.c_str(), "wb"));
    Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), document.Xml());
}

// What MainLoopProbe writes from inside the program.
class Probe {
public:
    explicit Probe(const std::string& path) : path(path) {}
    long long Value(const std::string& name) const { return Values()[name]; }
    void Reset() const
    {
        WriteFile(path + ".reset", "");
        WaitUntil([this] { return !boost::filesystem::exists(path + ".reset"); }, std::chrono::seconds(60));
    }
    // The largest gap so far, counting the one still open when the loop has not turned since.
    double Stall() const
    {
        std::map<std::string, long long> values = Values();
        return std::max(values["maxgap"], NowMicroseconds() - values["tick"]) / 1e6;
    }
    bool WaitFor(const std::string& name, std::chrono::seconds limit) const
    {
        return WaitUntil([&] { return Value(name) > 0; }, limit);
    }

private:
    // The probe's file as a whole, its last line "tick": one found short (as it is made) is
    // read again. None before the first tick.
    std::map<std::string, long long> Values() const
    {
        for (;; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
            std::ifstream in(path);
            std::map<std::string, long long> values;
            for (std::string key; in >> key;)
                in >> values[key];
            if (values.count("tick") || !boost::filesystem::exists(path))
                return values;
        }
    }

    template <class Condition> static bool WaitUntil(Condition condition, std::chrono::seconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (; std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            if (condition())
                return true;
        return false;
    }

    std::string path;
};

long StatusKiB(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    return 0;
}

// A home of its own for one launch of the program, with the settings that send every
// download through the store stand-in, and the probe's file in it.
class BenchHome : public ScopedHome {
public:
    BenchHome(const StoreServer& store, int downloads) : probe(File("probe.txt"))
    {
        boost::filesystem::create_directories(File(".vantormp3"));
        WriteFile(File(".vantormp3/Settings.xml"),
                  "<preferences><setting type=\"1\" key=\"FirstRunCompleted\">1</setting>"
                  "<setting type=\"1\" key=\"AutoCheckForUpdates\">0</setting>"
                  "<setting type=\"1\" key=\"ProxyServerEnabled\">1</setting>"
                  "<setting type=\"1\" key=\"ProxyServerType\">0</setting>"
                  "<setting type=\"1\" key=\"ProxyServerPort\">" + std::to_string(store.Port()) + "</setting>"
                  "<setting type=\"2\" key=\"ProxyServerAddress\">127.0.0.1</setting></preferences>");
        setenv("VANTOR_LOOP_PROBE", File("probe.txt").c_str(), 1);
        setenv("VANTOR_LOOP_ROWS", std::to_string(downloads).c_str(), 1);
    }

    const Probe probe;
};

// Prints the figures of one listing that began at `began` (monotonic microseconds).
bool ReportListing(const char* what, const Probe& probe, ChildProcess& program, long long began)
{
    if (!probe.WaitFor("shown", kListingLimit)) {
        std::printf("%-34s not listed within %lld s\n", what, static_cast<long long>(kListingLimit.count()));
        return false;
    }
    // A window already open when the listing began shows as 0.
    const long long window = std::max(probe.Value("first") - began, 0LL);
    std::printf("%-34s window %7.3f s, listed %8.3f s, longest stall %8.3f s, resident %7.1f MiB (peak %7.1f)\n",
                what, window / 1e6, (probe.Value("shown") - began) / 1e6,
                probe.Value("maxgap") / 1e6, StatusKiB(program.Pid(), "VmRSS") / 1024.0,
                StatusKiB(program.Pid(), "VmHWM") / 1024.0);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int downloads = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int albumTracks = std::max(argc > 2 ? std::atoi(argv[2]) : 10, 1);
    // Each figure as soon as it is known: the slow runs take many minutes.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string build = VANTOR_BUILD_DIR;
    const std::string program = build + "/stage/bin/vantormp3";
    TempDirectory storeRoot;
    WriteFile(storeRoot.File("track.mp3"), std::string(20000, 'x'));
    StoreServer store(storeRoot.Path());
    setenv("GTK_MODULES", (build + "/bench/libMainLoopProbe.so").c_str(), 1);
    boost::filesystem::current_path(build + "/stage/bin");
    std::printf("%d downloads in albums of %d, times from the launch:\n", downloads, albumTracks);

    bool listed = true;
    {
        BenchHome home(store, downloads);
        WriteQueueFile(home.File("start.vlx"), "Start", downloads, albumTracks);
        const long long started = NowMicroseconds();
        ChildProcess running({program, home.File("start.vlx")}, home.File("program.log"));
        listed = ReportListing("queue file on the command line:", home.probe, running, started) && listed;
    }
    {
        BenchHome home(store, downloads);
        WriteQueueFile(home.File(".vantormp3/DownloadQueue.vlx"), "Saved", downloads, albumTracks);
        const long long started = NowMicroseconds();
        ChildProcess running({program}, home.File("program.log"));
        if (ReportListing("saved queue:", home.probe, running, started)) {
            home.probe.Reset();
            std::this_thread::sleep_for(std::chrono::seconds(10));
            std::printf("%-34s longest stall %8.3f s\n", "  then downloading for 10 s:", home.probe.Stall());
        } else {
            listed = false;
        }
    }
    {
        BenchHome home(store, downloads);
        WriteQueueFile(home.File("later.vlx"), "Later", downloads, albumTracks);
        ChildProcess running({program}, home.File("program.log"));
        home.probe.WaitFor("first", std::chrono::seconds(60));
        home.probe.Reset();
        const long long launched = NowMicroseconds();
        RunProgram({program, home.File("later.vlx")}, home.File("launch.log"));
        listed = ReportListing("later launch adding a queue file:", home.probe, running, launched) && listed;
    }
    return listed ? 0 : 1;
}
