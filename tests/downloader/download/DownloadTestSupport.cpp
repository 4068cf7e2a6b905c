#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/data/CryptoUtility.h"
#include "core/filesystem/FilesystemUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/reporting/ReportService.h"
#include "downloader/model/DownloadModelTrack.h"
#include "downloader/model/IPlaylist.h"
#include "tests/support/DatabaseRows.h"
#include "tests/support/TranslationFile.h"

#include <tinyxml.h>

namespace VantorTest {

namespace {

const std::string kReportPath = "/gp/sonvel/ruq-result.html/";
const char kLastReport[] = "dm_ruq_no_medlib";

} // namespace

ModelJournal::ModelJournal(DownloadModel& model)
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

Entries ModelJournal::With(const std::string& part)
{
    Entries entries;
    for (const std::string& entry : journal.Entries())
        if (entry.find(part) != std::string::npos && entry.find(" progress") == std::string::npos)
            entries.push_back(entry);
    return entries;
}

void ModelJournal::OnPlaylistFinished(boost::shared_ptr<Vantor::DigitalMedia::MusicClient::Downloader::IPlaylist> playlist)
{
    const auto track = playlist->GetTrack(0);
    journal.Add("playlist " + playlist->GetTitle() + " " + std::to_string(track->GetStatus()) + " " + track->GetFilename());
}

void ModelJournal::Note(const DownloadPtr& download, const std::string& event)
{
    journal.Add((download ? download->GetPCID() : std::string("?")) + " " + event);
}

DownloadFixture::DownloadFixture()
    : store(files.Path()), nginx(files.Path())
{
    WriteTranslationFile(translations.File("de.xml"), "de_DE",
                         {{"sonvel_url_report_service", store.Url(kReportPath)},
                          {"sonvel_dl_completed", "Fertig"},
                          {"sonvel_dl_incomplete", "Unvollständig"}});
    Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");
    NewModel();
}

void DownloadFixture::NewModel()
{
    events.reset();
    model.reset();
    model.reset(new DownloadModel(Vantor::Filesystem::FilesystemUtility::NewInstance()));
    events.reset(new ModelJournal(*model));
}

std::string DownloadFixture::ServeFile(const std::string& name, size_t size)
{
    std::string contents(size, '\0');
    for (size_t i = 0; i < size; ++i)
        contents[i] = static_cast<char>((i * 7919 + i / 251) & 0xff);
    WriteFile(files.File(name), contents);
    return contents;
}

std::unique_ptr<TiXmlElement> TrackElement(const Fields& fields)
{
    std::unique_ptr<TiXmlElement> track(new TiXmlElement("track"));
    for (const auto& field : fields) {
        TiXmlElement* child = new TiXmlElement(field.first);
        child->LinkEndChild(new TiXmlText(field.second));
        track->LinkEndChild(child);
    }
    return track;
}

DownloadPtr DownloadFixture::NewDownload(const Fields& fields)
{
    return DownloadPtr(new DownloadModel::Download(*model, TrackElement(fields).get()));
}

Fields DownloadFixture::AlbumTrack(const std::string& pcid, const std::string& location, Fields more)
{
    Fields fields = {{"PCID", pcid},      {"location", location}, {"albumPrimaryArtist", "AC/DC"},
                     {"album", "Live: 1991"}, {"title", "Intro"}, {"trackNum", "7"},
                     {"discNum", "2"}};
    fields.insert(fields.end(), more.begin(), more.end());
    return fields;
}

std::string DownloadFixture::MusicFolder() const
{
    return Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility().GetMusicDirectory();
}

void DownloadFixture::Expect(const std::string& entry, int times)
{
    EXPECT_TRUE(events->journal.WaitFor(entry, times)) << "waiting for \"" << entry << "\" x" << times;
}

std::vector<std::string> DownloadFixture::Reports()
{
    // Reports go out one at a time in order: once the one sent now has arrived, all have.
    Vantor::Reporting::ReportService::Send(Vantor::Reporting::ReportService::NoMedlib, "end");
    std::vector<std::string> reports;
    for (size_t seen = 0; store.WaitForRequests(seen + 1, kWaitLimit); ++seen) {
        const std::string request = store.Requests().at(seen);
        if (request.compare(0, kReportPath.size(), kReportPath) != 0)
            continue;
        const std::string query = request.substr(kReportPath.size() + 4); // after "ref="
        const std::string tag = query.substr(0, query.find('?'));
        if (tag == kLastReport)
            return reports;
        const std::string::size_type pcid = query.find("pcid=") + 5;
        reports.push_back(tag + " " + query.substr(pcid, query.find('&', pcid) - pcid));
    }
    ADD_FAILURE() << "the last report never arrived";
    return reports;
}

std::vector<std::string> DownloadFixture::DownloadRequests()
{
    std::vector<std::string> requests;
    for (const std::string& request : store.Requests())
        if (request.compare(0, kReportPath.size(), kReportPath) != 0)
            requests.push_back(request);
    return requests;
}

std::vector<std::shared_ptr<TiXmlElement>> SavedTracks(const DownloadModel& model)
{
    OpenFile file(std::tmpfile());
    model.Save(file.get());
    std::fflush(file.get());
    std::string text;
    Vantor::Data::CryptoUtility::DecryptVLXFile(file.get(), text);
    TiXmlDocument document;
    document.Parse(text.c_str());
    std::vector<std::shared_ptr<TiXmlElement>> tracks;
    TiXmlElement* trackList = document.RootElement() ? document.RootElement()->FirstChildElement("trackList") : nullptr;
    for (TiXmlElement* track = trackList ? trackList->FirstChildElement("track") : nullptr; track;
         track = track->NextSiblingElement("track"))
        tracks.push_back(std::shared_ptr<TiXmlElement>(static_cast<TiXmlElement*>(track->Clone())));
    return tracks;
}

std::vector<std::string> QueuedPCIDs(DownloadModel& model)
{
    std::vector<std::string> pcids;
    for (unsigned i = 0; i < model.CountDownloads(); ++i)
        pcids.push_back(model.GetDownloadAt(i)->GetPCID());
    return pcids;
}

std::vector<std::string> PlaylistRows(const TempDirectory& home)
{
    return DatabaseRows(home.File(".vantormp3/vantormp3.db"),
                        "SELECT p.name, t.pcid, t.udo, t.status, t.filename FROM playlist p "
                        "JOIN playlist_track t ON t.playlist_id = p.id ORDER BY p.id, t.udo, t.id");
}

} // namespace VantorTest
