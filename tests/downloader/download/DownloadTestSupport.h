#ifndef TESTS_DOWNLOADER_DOWNLOAD_DOWNLOADTESTSUPPORT_H
#define TESTS_DOWNLOADER_DOWNLOAD_DOWNLOADTESTSUPPORT_H

#include "core/data/CryptoUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/reporting/ReportService.h"
#include "downloader/model/DownloadModelDownload.h"
#include "downloader/model/DownloadModelTrack.h"
#include "downloader/model/IPlaylist.h"
#include "tests/support/QueueFile.h"
#include "tests/support/Servers.h"

#include <tinyxml.h>

#include <regex>

namespace VantorTest {

typedef Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel DownloadModel;
typedef DownloadModel::DownloadPtr DownloadPtr;
typedef std::vector<std::pair<std::string, std::string>> Fields;
typedef std::vector<std::string> Entries;

// Every event of a model as "<PCID> <event>" ("state <n>", "finished <state>", ...), and each
// finished playlist as "playlist <id> <title>: <pcid>/<file>/<status> ..." ("!": another playlist's).
class ModelJournal : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    explicit ModelJournal(DownloadModel& model)
    {
        model.DownloadAddedSignal.connect(this, &ModelJournal::OnAdded);
        model.DownloadRemovedSignal.connect(this, &ModelJournal::OnRemoved);
        model.DownloadStartedSignal.connect(this, &ModelJournal::OnStarted);
        model.DownloadFinishedSignal.connect(this, &ModelJournal::OnFinished);
        model.DownloadDiskFullSignal.connect(this, &ModelJournal::OnDiskFull);
        model.DownloadStateChangedSignal.connect(this, &ModelJournal::OnStateChanged);
        model.DownloadQueueFinishedSignal.connect(this, &ModelJournal::OnQueueFinished);
        model.DownloadProgressChangedSignal.connect(this, &ModelJournal::OnProgress);
        model.GetPlaylistLibrary().PlaylistFinishedSignal.connect(this, &ModelJournal::OnPlaylistFinished);
    }
    ~ModelJournal() override { disconnect_all(); }

    // The entries holding `part`, progress left out, in order.
    Entries With(const std::string& part)
    {
        Entries entries;
        for (const std::string& entry : journal.Entries())
            if (entry.find(part) != entry.npos && entry.find(" progress") == entry.npos)
                entries.push_back(entry);
        return entries;
    }

    Journal journal;

private:
    typedef Vantor::Net::Download::State State;
    void OnAdded(DownloadPtr download) { Note(download, "added"); }
    void OnRemoved(DownloadPtr download) { Note(download, "removed"); }
    void OnStarted(const DownloadPtr download) { Note(download, "started"); }
    void OnFinished(const DownloadPtr download) { Note(download, "finished " + std::to_string(download->GetState())); }
    void OnDiskFull(const DownloadPtr download) { Note(download, "diskfull"); }
    void OnStateChanged(const DownloadPtr download, State state) { Note(download, "state " + std::to_string(state)); }
    void OnProgress(const DownloadPtr download, Vantor::Net::Download::Progress, long long) { Note(download, "progress"); }
    void OnQueueFinished() { journal.Add("queue-finished"); }
    void OnPlaylistFinished(boost::shared_ptr<Vantor::DigitalMedia::MusicClient::Downloader::IPlaylist> playlist)
    {
        std::string record = "playlist " + std::to_string(playlist->GetID()) + " " + playlist->GetTitle() + ":";
        for (int i = 0; i < playlist->Count(); ++i) {
            const auto track = playlist->GetTrack(i);
            record += " " + track->GetPCID() + "/" + track->GetFilename() + "/" + std::to_string(track->GetStatus())
                + (track->GetPlaylistID() == playlist->GetID() ? "" : "!");
        }
        journal.Add(record);
    }
    void Note(const DownloadPtr& download, const std::string& event) { journal.Add((download ? download->GetPCID() : "?") + " " + event); }
};

// A <track> element with one child element per field, its texts kept as they are.
inline std::unique_ptr<TiXmlElement> TrackElement(const Fields& fields)
{
    std::unique_ptr<TiXmlElement> track(new TiXmlElement("track"));
    for (const auto& field : fields) {
        TiXmlElement* child = new TiXmlElement(field.first);
        child->LinkEndChild(new TiXmlText(field.second));
        track->LinkEndChild(child);
    }
    return track;
}

// The <track> elements of the model's saved queue, decrypted and parsed. Once it is written,
// the files the save no longer names are deleted, as after the program's saves.
inline std::vector<std::shared_ptr<TiXmlElement>> SavedTracks(DownloadModel& model)
{
    OpenFile file(std::tmpfile());
    const DownloadModel::SaveMark mark = model.Save(file.get());
    std::fflush(file.get());
    model.SaveLanded(mark);
    std::string text;
    Vantor::Data::CryptoUtility::DecryptVLXFile(file.get(), text);
    TiXmlDocument document;
    document.Parse(text.c_str());
    std::vector<std::shared_ptr<TiXmlElement>> tracks;
    for (TiXmlElement* track = TiXmlHandle(&document).FirstChild("playlist").FirstChild("trackList").FirstChild("track").ToElement();
         track; track = track->NextSiblingElement("track"))
        tracks.push_back(std::shared_ptr<TiXmlElement>(static_cast<TiXmlElement*>(track->Clone())));
    return tracks;
}

// The PCIDs of the model's downloads, in queue order.
inline Entries QueuedPCIDs(DownloadModel& model)
{
    Entries pcids;
    for (unsigned i = 0; i < model.CountDownloads(); ++i)
        pcids.push_back(model.GetDownloadAt(i)->GetPCID());
    return pcids;
}

// "title|pcid|position|status|filename" of every playlist track in `home`'s database.
inline Entries PlaylistRows(const TempDirectory& home)
{
    return DatabaseRows(home.File(".vantormp3/vantormp3.db"), "SELECT p.name, t.pcid, t.udo, t.status, t.filename FROM playlist p "
                                                              "JOIN playlist_track t ON t.playlist_id = p.id ORDER BY p.id, t.udo, t.id");
}

// A temporary HOME, the store stand-in (also the report address), nginx over the same files,
// a German translation, the log, and a model (which goes first) with its journal.
class DownloadFixture : public ::testing::Test {
protected:
    DownloadFixture() : store(files.Path()), nginx(files.Path())
    {
        WriteTranslationFile(translations.File("de.xml"), "de_DE", {{"sonvel_url_report_service", store.Url(kReportPath)},
                             {"sonvel_dl_completed", "Fertig"}, {"sonvel_dl_incomplete", "Unvollständig"}});
        Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");
        NewModel();
    }

    void NewModel(boost::shared_ptr<Vantor::Filesystem::FilesystemUtility> filesystem = Vantor::Filesystem::FilesystemUtility::NewInstance())
    {
        events.reset();
        model.reset();
        model.reset(new DownloadModel(filesystem));
        events.reset(new ModelJournal(*model));
    }
    // Writes a file of `size` varied bytes under the servers' root, its folders made as needed;
    // returns its contents.
    std::string ServeFile(const std::string& name, size_t size)
    {
        std::string contents(size, '\0');
        for (size_t i = 0; i < size; ++i)
            contents[i] = static_cast<char>((i * 7919 + i / 251) & 0xff);
        boost::filesystem::create_directories(boost::filesystem::path(files.File(name)).parent_path());
        WriteFile(files.File(name), contents);
        return contents;
    }
    // A download of the track element made of `fields`, as a queue file or the saved queue has it.
    DownloadPtr NewDownload(const Fields& fields, DownloadModel::Origin origin = DownloadModel::Origin::QueueFile)
    {
        return DownloadPtr(new DownloadModel::Download(*model, TrackElement(fields).get(), origin));
    }
    // The fields of track 7 of disc 2, "Intro", of AC/DC's "Live: 1991", plus `more`.
    static Fields AlbumTrack(const std::string& pcid, const std::string& location, Fields more = {})
    {
        Fields fields = {{"PCID", pcid}, {"location", location}, {"albumPrimaryArtist", "AC/DC"}, {"album", "Live: 1991"},
                         {"title", "Intro"}, {"trackNum", "7"}, {"discNum", "2"}};
        fields.insert(fields.end(), more.begin(), more.end());
        return fields;
    }
    std::string MusicFolder() const { return Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility().GetMusicDirectory(); }
    // Waits for `entry` in the model's journal, `times` times.
    void Expect(const std::string& entry, int times = 1)
    {
        EXPECT_TRUE(events->journal.WaitFor(entry, times)) << "waiting for \"" << entry << "\" x" << times;
    }
    // The report tags the store received ("dm_ruq_dl_ok P1"), once a last report sent has: they go out in order.
    Entries Reports()
    {
        const std::string last = "end" + std::to_string(++reportsAsked);
        Vantor::Reporting::ReportService::Send(Vantor::Reporting::ReportService::NoMedlib, last);
        const std::regex report(kReportPath + "ref=([^?]*)\\?.*pcid=([^&]*).*");
        Entries reports;
        EXPECT_TRUE(PollUntil([&] {
            reports.clear();
            std::smatch match;
            for (const std::string& request : store.Requests())
                if (std::regex_match(request, match, report) && match[1] != "dm_ruq_no_medlib")
                    reports.push_back(match[1].str() + " " + match[2].str());
                else if (match.size() && match[2] == last)
                    return true;
            return false;
        })) << "the last report never arrived";
        return reports;
    }
    Entries DownloadRequests()
    {
        Entries requests;
        for (const std::string& request : store.Requests())
            if (request.compare(0, kReportPath.size(), kReportPath))
                requests.push_back(request);
        return requests;
    }

    const std::string kReportPath = "/gp/sonvel/ruq-result.html/";
    int reportsAsked = 0;
    LogRecorder log;
    ScopedHome home;
    TempDirectory files, translations;
    StoreServer store;
    NginxServer nginx;
    boost::shared_ptr<DownloadModel> model;
    std::unique_ptr<ModelJournal> events;
};

} // namespace VantorTest

#endif
