// The model's events as the user interface sees them: through proxies, on the main thread.
#include "core/filesystem/FilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "downloader/app/DownloadModelSignalProxy.h"
#include "downloader/model/DownloadModelDownload.h"
#include "tests/support/gui/MainLoop.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <tinyxml.h>

#include <algorithm>
#include <climits>
#include <thread>

using namespace VantorTest;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModelSignalProxy;
using Vantor::Net::Download;

namespace {

typedef DownloadModel::DownloadPtr DownloadPtr;

// Every event as "<PCID> <event>" ("queue-finished" alone), marked when it came on a thread
// other than the one that made the record.
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

    // The entries sorted, with or without the marks.
    std::vector<std::string> Sorted(bool marked = true)
    {
        std::vector<std::string> entries = journal.Entries();
        for (std::string& entry : entries)
            if (!marked && entry.find(kOther) != std::string::npos)
                entry.erase(entry.find(kOther));
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    Journal journal;

private:
    static constexpr const char* kOther = " (another thread)";

    void Note(const DownloadPtr& download, const std::string& event)
    {
        const bool other = std::this_thread::get_id() != owner;
        journal.Add((download ? download->GetPCID() + " " : "") + event + (other ? kOther : ""));
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

    DownloadPtr NewDownload(const std::string& pcid, Download::State state)
    {
        TiXmlElement track("track");
        for (const auto& field : std::map<std::string, std::string>{
                 {"PCID", pcid}, {"location", store.Url("/intro.mp3")}, {"album", "Live"}, {"title", "Intro"},
                 {"downloadState", std::to_string(state)}}) {
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
    // Two proxies, as two controllers have; the model's own record comes after theirs, so
    // whatever it has seen, both proxies have queued.
    DownloadModelSignalProxy firstProxy(model), secondProxy(model);
    EventRecord first, second, fromModel;
    Listen(firstProxy, first);
    Listen(secondProxy, second);
    Listen(*model, fromModel);

    model->AddDownload(NewDownload("done", Download::Downloaded));
    ASSERT_EQ(1, fromModel.journal.Count("done added"));
    EXPECT_TRUE(first.journal.Entries().empty());

    WriteFile(files.File("intro.mp3"), std::string(200000, 'a'));
    model->AddDownload(NewDownload("fetched", Download::Paused));
    ASSERT_TRUE(fromModel.journal.WaitFor("queue-finished (another thread)"));
    model->SetMinimumDiskSpaceBytes(ULLONG_MAX);
    model->AddDownload(NewDownload("full", Download::Paused));
    ASSERT_TRUE(fromModel.journal.WaitFor("queue-finished (another thread)", 2));
    model->ClearFinished();
    while (RunOneTurn()) {
    }

    const std::vector<std::string> events = fromModel.Sorted();
    for (const char* event : {"done added", "done removed", "fetched started (another thread)",
                              "fetched progress (another thread)", "fetched state 1 (another thread)",
                              "fetched finished (another thread)", "full diskfull (another thread)"})
        EXPECT_TRUE(std::count(events.begin(), events.end(), event)) << event;
    EXPECT_EQ(fromModel.Sorted(false), first.Sorted());
    EXPECT_EQ(fromModel.Sorted(false), second.Sorted());
}

TEST_F(ProxyTest, DestroyingAProxyDropsTheEventsStillQueuedForIt)
{
    DownloadModelSignalProxy staying(model);
    EventRecord stayingRecord;
    Listen(staying, stayingRecord);
    std::vector<std::unique_ptr<EventRecord>> records;
    std::vector<int> deliveredBeforeTheEnd;
    {
        // Each proxy goes with items queued while a worker goes on announcing, thousands of
        // times before the main loop drains the queue.
        RepeatingCall worker([this] { model->HandleDownloadQueueFinished(); });
        for (int i = 0; i < 20; ++i) {
            DownloadModelSignalProxy proxy(model);
            records.emplace_back(new EventRecord);
            Listen(proxy, *records.back());
            ASSERT_TRUE(worker.WaitForMoreCalls(2));
            RunOneTurn();
        }
    }
    for (const auto& record : records)
        deliveredBeforeTheEnd.push_back(record->journal.Count("queue-finished"));
    while (RunOneTurn()) {
    }
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(deliveredBeforeTheEnd[i], records[i]->journal.Count("queue-finished")) << "proxy " << i;
    EXPECT_LT(0, stayingRecord.journal.Count("queue-finished"));
}

} // namespace
