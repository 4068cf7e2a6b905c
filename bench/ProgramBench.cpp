// The program itself with a large queue: N downloads (default 10,000) in albums of ten, saved
// as "DownloadQueue.vlx" before it starts. Prints the time from start to the window listing
// every album row and the program's resident size then; the longest stall of its main loop
// while it downloads (every track is a small file from the local store stand-in, so a download
// starts and finishes, and the queue is saved, many times a second); and the same while a later
// launch adds a second queue file of N tracks. Run it in an X server, after staging the program
// and building the probe: scripts/stage.sh, cmake --build build --target ProgramBench
// MainLoopProbe, then scripts/with-xvfb.sh build/bench/ProgramBench [downloads].
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

long long NowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// `tracks` tracks in albums of ten, named after `name`, all the same small file.
void WriteQueueFile(const std::string& path, const std::string& name, int tracks)
{
    QueueDocument document;
    for (int i = 0; i < tracks; ++i)
        document.regular.push_back(QueueEntry{{{"location", kStore + "/track.mp3?n=" + std::to_string(i)},
                                               {"title", "Track " + std::to_string(i)},
                                               {"albumPrimaryArtist", name + " Band " + std::to_string(i / 100)},
                                               {"album", name + " Album " + std::to_string(i / 10)},
                                               {"trackNum", std::to_string(i % 10 + 1)},
                                               {"trackType", "mp3"}},
                                              name + std::to_string(i)});
    OpenFile file(std::fopen(path.c_str(), "wb"));
    Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), document.Xml());
}

class Probe {
public:
    explicit Probe(const std::string& path) : path(path) {}
    long long Value(const std::string& name) const
    {
        std::ifstream in(path);
        std::map<std::string, long long> values;
        for (std::string key; in >> key;)
            in >> values[key];
        return values[name];
    }
    void Reset() const { WriteFile(path + ".reset", ""); }
    // The largest gap so far, counting the one still open when the loop has not turned since.
    double Stall() const { return std::max(Value("maxgap"), NowMicroseconds() - Value("tick")) / 1e6; }
    bool WaitFor(const std::string& name, long long atLeast) const
    {
        for (int i = 0; i < 6000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            if (Value(name) >= atLeast)
                return true;
        return false;
    }

private:
    std::string path;
};

long ResidentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int downloads = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string build = VANTOR_BUILD_DIR;
    TempDirectory storeRoot;
    WriteFile(storeRoot.File("track.mp3"), std::string(20000, 'x'));
    StoreServer store(storeRoot.Path());
    ScopedHome home;
    boost::filesystem::create_directories(home.File(".vantormp3"));
    WriteFile(home.File(".vantormp3/Settings.xml"),
              "<preferences><setting type=\"1\" key=\"FirstRunCompleted\">1</setting>"
              "<setting type=\"1\" key=\"AutoCheckForUpdates\">0</setting>"
              "<setting type=\"1\" key=\"ProxyServerEnabled\">1</setting>"
              "<setting type=\"1\" key=\"ProxyServerType\">0</setting>"
              "<setting type=\"1\" key=\"ProxyServerPort\">" + std::to_string(store.Port()) + "</setting>"
              "<setting type=\"2\" key=\"ProxyServerAddress\">127.0.0.1</setting></preferences>");
    WriteQueueFile(home.File(".vantormp3/DownloadQueue.vlx"), "Saved", downloads);
    WriteQueueFile(home.File("later.vlx"), "Later", downloads);

    const Probe probe(home.File("probe.txt"));
    setenv("GTK_MODULES", (build + "/bench/libMainLoopProbe.so").c_str(), 1);
    setenv("VANTOR_LOOP_PROBE", home.File("probe.txt").c_str(), 1);
    setenv("VANTOR_LOOP_ROWS", std::to_string(downloads / 10).c_str(), 1);
    boost::filesystem::current_path(build + "/stage/bin");
    const long long started = NowMicroseconds();
    ChildProcess program({build + "/stage/bin/vantormp3"}, home.File("program.log"));
    if (!probe.WaitFor("shown", 1)) {
        std::printf("the window never listed %d albums\n", downloads / 10);
        return 1;
    }
    std::printf("%d downloads: start to every album row shown %8.3f s, resident %7.1f MiB\n", downloads,
                (probe.Value("shown") - started) / 1e6, ResidentKiB(program.Pid()) / 1024.0);

    probe.Reset();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    std::printf("while downloading (10 s): longest main-loop stall %8.3f s\n", probe.Stall());

    probe.Reset();
    const long long launched = NowMicroseconds();
    RunProgram({build + "/stage/bin/vantormp3", home.File("later.vlx")}, home.File("launch.log"));
    probe.WaitFor("rows", 2 * (downloads / 10));
    std::printf("a later launch adding %d tracks: listed after %8.3f s, longest main-loop stall %8.3f s\n",
                downloads, (NowMicroseconds() - launched) / 1e6, probe.Stall());
    return 0;
}
