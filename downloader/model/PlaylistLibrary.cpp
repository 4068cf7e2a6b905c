#include "downloader/model/PlaylistLibrary.h"

#include "downloader/model/PlaylistLibraryImpl.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader {

namespace {

const int kSchemaVersion = 1;

} // namespace

PlaylistLibrary::PlaylistLibrary()
    : impl(new PlaylistLibraryImpl())
{
    Opened();
}

// The implementation, declared last, goes first: the database closes before the signal
// lets go of its slots.
PlaylistLibrary::~PlaylistLibrary() = default;

bool PlaylistLibrary::IsAvailable()
{
    boost::mutex::scoped_lock lock(impl->Mutex());
    return Opened();
}

bool PlaylistLibrary::Opened()
{
    if (impl->IsOpen())
        return true;
    if (!impl->Open())
        return false;
    OnDatabaseOpened();
    return true;
}

void PlaylistLibrary::OnDatabaseOpened()
{
    impl->CreateVersionTable();
    if (impl->GetSchemaVersion() < 0) OnDatabaseCreated();
    impl->SetSchemaVersion(kSchemaVersion);
}

void PlaylistLibrary::OnDatabaseCreated()
{
    impl->CreatePlaylistTables();
}

bool PlaylistLibrary::Create(const std::string& title, const std::vector<std::string>& pcids)
{
    boost::mutex::scoped_lock lock(impl->Mutex());
    return Opened() && impl->CreatePlaylist(title, pcids);
}

void PlaylistLibrary::SetTrackDownloaded(const std::string& pcid, const std::string& filename)
{
    boost::mutex::scoped_lock lock(impl->Mutex());
    if (!Opened())
        return;
    impl->UpdatePlaylistTrack(pcid, IPlaylistTrack::Downloaded, filename);
    NotifyPlaylistsFinished(pcid);
}

void PlaylistLibrary::SetTrackExpired(const std::string& pcid)
{
    boost::mutex::scoped_lock lock(impl->Mutex());
    if (!Opened())
        return;
    impl->UpdatePlaylistTrack(pcid, IPlaylistTrack::Expired, "");
    NotifyPlaylistsFinished(pcid);
}

bool PlaylistLibrary::Clear()
{
    boost::mutex::scoped_lock lock(impl->Mutex());
    return Opened() && impl->ClearPlaylists();
}

void PlaylistLibrary::NotifyPlaylistsFinished(const std::string& pcid)
{
    std::vector<boost::shared_ptr<IPlaylist>> finished;
    impl->GetFinishedPlaylistsContainingPCID(pcid, finished);
    for (const boost::shared_ptr<IPlaylist>& playlist : finished) PlaylistFinishedSignal.emit(playlist);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
