#include "downloader/model/PlaylistLibrary.h"

#include "downloader/model/PlaylistLibraryImpl.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Database::SQLite::Connection;

namespace {

const int kSchemaVersion = 1;
// Another program reading or writing the database (a music player indexing it, the sqlite3
// shell) is waited for this long at most in any one operation: a read outlasts it rarely,
// and the import at start, which the window waits for, must not wait long.
const int kMostWaitMilliseconds = 2000;

} // namespace

// One public operation: the library locked throughout; the database opened first when it is
// not open; and, at its end, what it ran into found.
class PlaylistLibrary::Operation {
public:
    explicit Operation(PlaylistLibrary& library)
        : library(library), impl(*library.impl), lock(impl.Mutex())
    {
        // While another program is known to hold the database, nothing waits for it: the first
        // operation that finds it free again ends that.
        const int wait = library.access == Access::Held ? 0 : kMostWaitMilliseconds;
        if (impl.IsOpen()) {
            impl.LimitWaits(wait);
            return;
        }
        std::string keptAt;
        opening = impl.Open(wait, keptAt);
        if (!keptAt.empty())
            library.Found({Trouble::Damaged, keptAt});
        if (impl.IsOpen())
            library.OnDatabaseOpened();
    }

    ~Operation()
    {
        const Access now = !impl.IsOpen() ? (opening == Connection::Locked ? Access::Held : Access::Unopenable)
                                          : (impl.FoundLocked() ? Access::Held : Access::Usable);
        if (now != library.access && now != Access::Usable)
            library.Found({now == Access::Held ? Trouble::Held : Trouble::Unopenable, ""});
        library.access = now;
    }

    bool Opened() const { return impl.IsOpen(); }

private:
    PlaylistLibrary& library;
    PlaylistLibraryImpl& impl;
    boost::mutex::scoped_lock lock;
    Connection::Health opening = Connection::Readable;
};

PlaylistLibrary::PlaylistLibrary()
    : impl(new PlaylistLibraryImpl())
{
    Operation opening(*this);
}

// The implementation, declared last, goes first: the database closes before the signals
// let go of their slots.
PlaylistLibrary::~PlaylistLibrary() = default;

std::vector<PlaylistLibrary::Trouble> PlaylistLibrary::TakeTroubles()
{
    boost::mutex::scoped_lock lock(troublesMutex);
    std::vector<Trouble> taken;
    taken.swap(troubles);
    return taken;
}

void PlaylistLibrary::Found(const Trouble& trouble)
{
    {
        boost::mutex::scoped_lock lock(troublesMutex);
        troubles.push_back(trouble);
    }
    TroubleSignal.emit();
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
    const Operation operation(*this);
    return operation.Opened() && impl->CreatePlaylist(title, pcids);
}

void PlaylistLibrary::SetTrackDownloaded(const std::string& pcid, const std::string& filename)
{
    const Operation operation(*this);
    if (!operation.Opened())
        return;
    impl->UpdatePlaylistTrack(pcid, IPlaylistTrack::Downloaded, filename);
    NotifyPlaylistsFinished(pcid);
}

void PlaylistLibrary::SetTrackExpired(const std::string& pcid)
{
    const Operation operation(*this);
    if (!operation.Opened())
        return;
    impl->UpdatePlaylistTrack(pcid, IPlaylistTrack::Expired, "");
    NotifyPlaylistsFinished(pcid);
}

bool PlaylistLibrary::Clear()
{
    const Operation operation(*this);
    return operation.Opened() && impl->ClearPlaylists();
}

void PlaylistLibrary::NotifyPlaylistsFinished(const std::string& pcid)
{
    std::vector<boost::shared_ptr<IPlaylist>> finished;
    impl->GetFinishedPlaylistsContainingPCID(pcid, finished);
    for (const boost::shared_ptr<IPlaylist>& playlist : finished) PlaylistFinishedSignal.emit(playlist);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
