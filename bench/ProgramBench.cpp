// The program itself with a large queue of N downloads (default 10,000) in albums of A tracks
// (default ten), each case in a home of its own. For each it prints when the window was first
// painted and when every track row was listed (both from the launch), the longest stall of the
// main loop in between (how long the window could not repaint) and the resident size then; for
// a button clicked as a user would, how long until the list showed its work done (no track row
// left waiting or transferring after Pause, none paused after Resume, no row at all after Clear)
// and the longest stall meanwhile. The cases, all by default:
//   file    started with a queue file of N tracks on its command line;
//   saved   started again with a saved queue ("DownloadQueue.vlx") of N tracks; then the longest
//           stall while it downloads for ten seconds (every track is a small file from the local
//           store stand-in, so a download starts and finishes, and the queue is saved, many times
//           a second), then Pause and Resume;
//   later   running with an empty queue when a later launch hands it a queue file of N tracks;
//   clear   a saved queue of N expired downloads, in albums of one and then of A, all cleared
//           with Clear (its question answered Yes);
//   album   a saved queue of N tracks in one album;
//   beside  a queue file of 20 small tracks (50 KB each) on the command line, once beside an empty
//           saved queue and once beside a saved queue of N downloaded tracks: when the first and
//           when the last of them took its final name (each waits for a save of the whole queue
//           that holds it finished).
// Run it in an X server, after staging the program and building the probe: scripts/stage.sh,
// cmake --build build --target ProgramBench MainLoopProbe, then
// scripts/with-xvfb.sh build/bench/ProgramBench [downloads [album tracks [case...]]].
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
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <vector>

using namespace VantorTest;

namespace {

const std::string kStore = "http://store.vantormp3.example";
const std::string kProgram = VANTOR_BUILD_DIR "/stage/bin/vantormp3";
// Long enough for the slowest listing measured so far to finish and be counted.
const std::chrono::seconds kListingLimit(1800);
// The statuses of a track that is about to transfer or transferring (a percentage), and of one
// paused or about to be.
const std::vector<std::string> kActive = {"Wartet", "%", "Neuer Versuch", "Wird angehalten"};
const std::vector<std::string> kPaused = {"Angehalten", "Wird angehalten"};
// What a download saved as failed for good keeps: its link has expired.
const std::vector<std::pair<std::string, std::string>> kExpired = {
    {"downloadState", "9"}, {"networkErrorType", "10"}, {"errorString", "Link expired"}};

long long NowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// `tracks` tracks in albums of `albumTracks`, named after `name`, all the same small file, each
// with the `more` elements.
void WriteQueueFile(const std::string& path, const std::string& name, int tracks, int albumTracks,
                    const std::vector<std::pair<std::string, std::string>>& more = {})
{
    QueueDocument document;
    for (int i = 0; i < tracks; ++i) {
        document.regular.push_back(QueueEntry{{{"location", kStore + "/track.mp3?n=" + std::to_string(i)},
                                               {"title", "Track " + std::to_string(i)},
                                               {"albumPrimaryArtist", name + " Band " + std::to_string(i / albumTracks / 10)},
                                               {"album", name + " Album " + std::to_string(i / albumTracks)},
                                               {"trackNum", std::to_string(i % albumTracks + 1)},
                                               {"trackType", "mp3"}},
                                              name + std::to_string(i)});
        document.regular.back().children.insert(document.regular.back().children.end(), more.begin(), more.end());
    }
    OpenFile file(std::fopen(path.c_str(), "wb"));
    Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), document.Xml());
}

template <class Condition> bool WaitUntil(Condition condition, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (; std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (condition())
            return true;
    return false;
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
    // Clicks the widget of that name, answering Yes to any question, and prints how long it took
    // until no track row showed any of `gone` (none given: until no row was left), and the
    // longest stall meanwhile.
    bool Act(const char* what, const std::string& widget, const std::vector<std::string>& gone = {}) const
    {
        const long long asked = NowMicroseconds();
        std::string command = widget;
        for (const std::string& status : gone)
            command += "\t" + status;
        WriteFile(path + ".click", command);
        std::map<std::string, long long> values;
        const bool done = WaitUntil([&] {
            values = Values();
            return values["acted"] >= asked && values["done"] >= values["acted"];
        }, kListingLimit);
        if (!done) {
            std::printf("%-34s not done within %lld s\n", what, static_cast<long long>(kListingLimit.count()));
            return false;
        }
        std::printf("%-34s done %10.3f s, longest stall %8.3f s, track rows %d\n", what,
                    (values["done"] - values["acted"]) / 1e6, values["actiongap"] / 1e6,
                    static_cast<int>(values["rows"]));
        // A moment apart from the next action, as a user's clicks are.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return true;
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
    const long long window = std::max(probe.Value("exposed") - began, 0LL);
    std::printf("%-34s window %7.3f s, listed %8.3f s, longest stall %8.3f s, resident %7.1f MiB (peak %7.1f)\n",
                what, window / 1e6, (probe.Value("shown") - began) / 1e6,
                probe.Value("maxgap") / 1e6, StatusKiB(program.Pid(), "VmRSS") / 1024.0,
                StatusKiB(program.Pid(), "VmHWM") / 1024.0);
    return true;
}

// Starts the program, in a home that `prepare` fills, on the command line it gives back; prints
// the listing, then whatever `then` measures.
bool ListAtStart(const StoreServer& store, int downloads, const char* what,
                 const std::function<std::vector<std::string>(const BenchHome&)>& prepare,
                 const std::function<bool(const BenchHome&)>& then = [](const BenchHome&) { return true; })
{
    BenchHome home(store, downloads);
    const std::vector<std::string> command = prepare(home);
    const long long started = NowMicroseconds();
    ChildProcess running(command, home.File("program.log"));
    return ReportListing(what, home.probe, running, started) && then(home);
}

// A saved queue of `tracks` tracks in albums of `albumTracks`, named after `name`, each with the
// `more` elements; the program started on it.
std::function<std::vector<std::string>(const BenchHome&)> SavedQueue(
    const std::string& name, int tracks, int albumTracks, const std::vector<std::pair<std::string, std::string>>& more = {})
{
    return [=](const BenchHome& home) {
        WriteQueueFile(home.File(".vantormp3/DownloadQueue.vlx"), name, tracks, albumTracks, more);
        return std::vector<std::string>{kProgram};
    };
}

// The tracks of the queue file named after `name` that took their final names in `home`'s music
// folder, whole.
int Arrived(const BenchHome& home, const std::string& name, size_t size)
{
    const std::string music = home.File("Vantor MP3");
    int arrived = 0;
    if (!boost::filesystem::exists(music))
        return 0;
    for (boost::filesystem::recursive_directory_iterator it(music), end; it != end; ++it)
        arrived += it->path().string().find("/" + name + " Band ") != std::string::npos &&
                   it->path().filename().string()[0] != '.' && boost::filesystem::is_regular_file(it->status()) &&
                   boost::filesystem::file_size(it->path()) == size;
    return arrived;
}

// Starts the program on a queue file of `tracks` tracks of `size` bytes beside a saved queue of
// `saved` downloaded tracks; prints when the first and the last took their final names.
bool ArriveBeside(const StoreServer& store, int saved, int albumTracks, int tracks, size_t size)
{
    BenchHome home(store, saved + tracks);
    if (saved > 0)
        WriteQueueFile(home.File(".vantormp3/DownloadQueue.vlx"), "Saved", saved, albumTracks, {{"downloadState", "1"}});
    WriteQueueFile(home.File("beside.vlx"), "Beside", tracks, albumTracks, {{"location", kStore + "/small.mp3"}});
    const long long started = NowMicroseconds();
    ChildProcess running({kProgram, home.File("beside.vlx")}, home.File("program.log"));
    long long first = 0;
    const bool arrived = WaitUntil([&] {
        const int count = Arrived(home, "Beside", size);
        if (count > 0 && first == 0)
            first = NowMicroseconds();
        return count == tracks;
    }, kListingLimit);
    std::printf("%d tracks of %zu KB beside a saved queue of %6d: first arrived %8.3f s, %s %8.3f s\n", tracks,
                size / 1000, saved, (first - started) / 1e6, arrived ? "all" : "not all, given up at",
                (NowMicroseconds() - started) / 1e6);
    return arrived;
}

} // namespace

int main(int argc, char** argv)
{
    const int downloads = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int albumTracks = std::max(argc > 2 ? std::atoi(argv[2]) : 10, 1);
    std::set<std::string> cases(argv + std::min(argc, 3), argv + argc);
    const auto wanted = [&cases](const char* name) { return cases.empty() || cases.count(name); };
    // Each figure as soon as it is known: the slow runs take many minutes.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string build = VANTOR_BUILD_DIR;
    TempDirectory storeRoot;
    WriteFile(storeRoot.File("track.mp3"), std::string(20000, 'x'));
    const size_t smallSize = 50000;
    WriteFile(storeRoot.File("small.mp3"), std::string(smallSize, 's'));
    StoreServer store(storeRoot.Path());
    setenv("GTK_MODULES", (build + "/bench/libMainLoopProbe.so").c_str(), 1);
    boost::filesystem::current_path(build + "/stage/bin");
    std::printf("%d downloads in albums of %d, times from the launch or the click:\n", downloads, albumTracks);

    bool done = true;
    if (wanted("file")) {
        done = ListAtStart(store, downloads, "queue file on the command line:", [&](const BenchHome& home) {
            WriteQueueFile(home.File("start.vlx"), "Start", downloads, albumTracks);
            return std::vector<std::string>{kProgram, home.File("start.vlx")};
        }) && done;
    }
    if (wanted("saved")) {
        done = ListAtStart(store, downloads, "saved queue:", SavedQueue("Saved", downloads, albumTracks), [](const BenchHome& home) {
            home.probe.Reset();
            std::this_thread::sleep_for(std::chrono::seconds(10));
            std::printf("%-34s longest stall %8.3f s\n", "  then downloading for 10 s:", home.probe.Stall());
            // Until nothing waits or transfers any more, and then nothing is paused.
            return home.probe.Act("  then Pause:", "PauseButton", kActive) && home.probe.Act("  then Resume:", "ResumeButton", kPaused);
        }) && done;
    }
    if (wanted("later")) {
        BenchHome home(store, downloads);
        WriteQueueFile(home.File("later.vlx"), "Later", downloads, albumTracks);
        ChildProcess running({kProgram}, home.File("program.log"));
        home.probe.WaitFor("first", std::chrono::seconds(60));
        home.probe.Reset();
        const long long launched = NowMicroseconds();
        RunProgram({kProgram, home.File("later.vlx")}, home.File("launch.log"));
        done = ReportListing("later launch adding a queue file:", home.probe, running, launched) && done;
    }
    if (wanted("clear")) {
        for (const int size : std::set<int>{1, albumTracks}) {
            const std::string what = "expired, albums of " + std::to_string(size) + ":";
            done = ListAtStart(store, downloads, what.c_str(), SavedQueue("Expired", downloads, size, kExpired),
                               [](const BenchHome& home) { return home.probe.Act("  then Clear:", "ClearButton"); })
                && done;
        }
    }
    if (wanted("album"))
        done = ListAtStart(store, downloads, "saved queue, one album:", SavedQueue("One", downloads, downloads)) && done;
    if (wanted("beside")) {
        for (const int saved : {0, downloads})
            done = ArriveBeside(store, saved, albumTracks, 20, smallSize) && done;
    }
    return done ? 0 : 1;
}
