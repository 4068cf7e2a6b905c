// The model's events as the user interface sees them: through proxies, on the main thread.
#include "core/filesystem/FilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "downloader/app/DownloadModelSignalProxy.h"
#include "downloader/model/DownloadModelDownload.h"
#include "tests/downloader/invoke/MainLoop.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModelSignalProxy;
using Vantor::Net::Download;

namespace {

typedef DownloadModel::DownloadPtr DownloadPtr;

// Every event as "<PCID> <event>", "queue-finished" alone; a note made off the thread that
// built the record says so.
class EventRecord : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    ~EventRecord() override { disconnect_all(); }

    void Added(DownloadPtr download) { Note(download, "added"); }
    void Removed(DownloadPtr download) { Note(download, "removed"); }
    void Started(const DownloadPtr download) { Note(download, "started"); }
    void Finished(const DownloadPtr download) { Note(download, "finished"); }
    void DiskFull(const DownloadPtr download) { Note(download, "diskfull"); }
    void QueueFinished() { Note(nullptr, "queue-finished"); }
    void Progress(const DownloadPtr download, Download::Progress, long long) { Note(download, "progress"); }
    void StateChanged(const DownloadPtr download, Download::State state)
    {
        Note(download, "state " + std::to_string(state));
    }

    Journal journal;

private:
    void Note(const DownloadPtr& download, const std::string& event)
    {
        const std::string where = std::this_thread::get_id() == owner ? "" : " (another thread)";
        journal.Add((download ? download->GetPCID() + " " : std::string()) + event + where);
    }

    const std::thread::id owner = std::this_thread::get_id();
};

template <class... Types, class Method>
void Connect(sigc::signal<Types...>& signal, EventRecord& record, Method method)
{
    signal.connect(sigc::mem_fun(record, method));
}

template <class Signal, class Method>
void Connect(Signal& signal, EventRecord& record, Method method)
{
    signal.connect(&record, method);
}

// The model and its proxies have the same eight signals.
template <class Source>
void Listen(Source& source, EventRecord& record)
{
    Connect(source.DownloadAddedSignal, record, &EventRecord::Added);
    Connect(source.DownloadRemovedSignal, record, &EventRecord::Removed);
    Connect(source.DownloadStartedSignal, record, &EventRecord::Started);
    Connect(source.DownloadFinishedSignal, record, &EventRecord::Finished);
    Connect(source.DownloadDiskFullSignal, record, &EventRecord::DiskFull);
    Connect(source.DownloadQueueFinishedSignal, record, &EventRecord::QueueFinished);
    Connect(source.DownloadProgressChangedSignal, record, &EventRecord::Progress);
    Connect(source.DownloadStateChangedSignal, record, &EventRecord::StateChanged);
}

std::vector<std::string> Sorted(std::vector<std::string> entries)
{
    std::sort(entries.begin(), entries.end());
    return entries;
}

// A model whose downloads land in a temporary HOME, fetched from and reported to the store
// stand-in.
class ProxyTest : public MainLoopTest {
protected:
    ProxyTest() : store(files.Path())
    {
        WriteTranslationFile(translations.File("en.xml"), "en_US",
                             {{"sonvel_url_report_service", store.Url("/gp/sonvel/ruq-result.html/")}});
        Vantor::Localization::TranslationService::Initialize(translations.Path(), "en_US");
        model.reset(new DownloadModel(Vantor::Filesystem::FilesystemUtility::NewInstance()));
    }

    // A download of "Intro" on AC/DC's "Live", in the saved state `state`.
    DownloadPtr NewDownload(const std::string& pcid, const std::string& location, Download::State state)
    {
        TiXmlElement track("track");
        for (const auto& field : std::vector<std::pair<std::string, std::string>>{
                 {"PCID", pcid}, {"location", location}, {"albumPrimaryArtist", "AC/DC"}, {"album", "Live"},
                 {"title", "Intro"}, {"trackNum", "1"}, {"downloadState", std::to_string(state)}}) {
            TiXmlElement child(field.first);
            child.InsertEndChild(TiXmlText(field.second));
            track.InsertEndChild(child);
        }
        return DownloadPtr(new DownloadModel::Download(*model, &track));
    }

    ScopedHome home;
    TempDirectory files;
    TempDirectory translations;
    StoreServer store;
    boost::shared_ptr<DownloadModel> model;
};

TEST_F(ProxyTest, EveryModelEventReachesEachSubscriberOnceOnTheMainThreadOnALaterTurn)
{
    // Two proxies on one model, as two controllers have; the model's own view is taken
    // after theirs, so whatever it has seen, both proxies have queued.
    std::vector<std::unique_ptr<DownloadModelSignalProxy>> proxies;
    std::vector<std::unique_ptr<EventRecord>> seen;
    for (int i = 0; i < 2; ++i) {
        proxies.emplace_back(new DownloadModelSignalProxy(model));
        seen.emplace_back(new EventRecord);
        Listen(*proxies.back(), *seen.back());
    }
    EventRecord fromModel;
    Listen(*model, fromModel);

    // Added on the main thread: not delivered inside the call.
    model->AddDownload(NewDownload("done", store.Url("/done.mp3"), Download::Downloaded));
    ASSERT_EQ(1, fromModel.journal.Count("done added"));
    EXPECT_TRUE(seen[0]->journal.Entries().empty());

    WriteFile(files.File("intro.mp3"), std::string(200000, 'a'));
    model->AddDownload(NewDownload("fetched", store.Url("/intro.mp3"), Download::Paused));
    ASSERT_TRUE(fromModel.journal.WaitFor("queue-finished (another thread)"));
    model->SetMinimumDiskSpaceBytes(ULLONG_MAX);
    model->AddDownload(NewDownload("full", store.Url("/intro.mp3"), Download::Paused));
    ASSERT_TRUE(fromModel.journal.WaitFor("queue-finished (another thread)", 2));
    model->ClearFinished();
    RunMainLoopUntilIdle();

    const std::vector<std::string> events = Sorted(fromModel.journal.Entries());
    for (const char* kind : {"done added", "done removed", "fetched started (another thread)", "fetched progress (another thread)",
                             "fetched state 1 (another thread)", "fetched finished (another thread)",
                             "full diskfull (another thread)", "queue-finished (another thread)"})
        EXPECT_TRUE(std::count(events.begin(), events.end(), kind)) << kind;
    // The same events, each once, all on this thread.
    std::vector<std::string> expected;
    for (std::string event : events) {
        const std::string::size_type other = event.find(" (another thread)");
        expected.push_back(other == std::string::npos ? event : event.erase(other));
    }
    for (const auto& record : seen)
        EXPECT_EQ(Sorted(expected), Sorted(record->journal.Entries()));
}

TEST_F(ProxyTest, DestroyingAProxyDropsTheEventsStillQueuedForIt)
{
    DownloadModelSignalProxy staying(model);
    EventRecord stayingRecord;
    Listen(staying, stayingRecord);
    std::vector<std::unique_ptr<EventRecord>> records;
    {
        // A worker announces all the while; each proxy goes with its items still queued,
        // some while an announcement is under way.
        RepeatingCall worker([this] { model->HandleDownloadQueueFinished(); });
        for (int i = 0; i < 20; ++i) {
            DownloadModelSignalProxy proxy(model);
            records.emplace_back(new EventRecord);
            Listen(proxy, *records.back());
            ASSERT_TRUE(worker.WaitForMoreCalls(2));
            RunOneTurn();
        }
    }
    std::vector<int> before;
    for (const auto& record : records)
        before.push_back(record->journal.Count("queue-finished"));
    RunMainLoopUntilIdle();
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(before[i], records[i]->journal.Count("queue-finished")) << "proxy " << i;
    EXPECT_LT(0, stayingRecord.journal.Count("queue-finished"));
}

} // namespace
