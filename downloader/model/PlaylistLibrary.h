#ifndef DOWNLOADER_MODEL_PLAYLISTLIBRARY_H
#define DOWNLOADER_MODEL_PLAYLISTLIBRARY_H

#include "core/sigslot/sigslot.h"
#include "downloader/model/IPlaylist.h"

#include <boost/noncopyable.hpp>
#include <boost/scoped_ptr.hpp>
#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

class PlaylistLibraryImpl;

// The playlists that come with a purchase and the download status of their tracks, kept in
// "vantormp3.db" in the settings directory. Every operation may be called from any thread;
// they run one at a time. A database that can't be opened fails each operation, which tries
// to open it again first: a folder set right needs no restart.
class PlaylistLibrary : public sigslot::has_slots<sigslot::multi_threaded_local>, private boost::noncopyable {
public:
    // Emitted, with the library locked, for each playlist that a marked track left without
    // a pending track: a slot must not call back into the library.
    sigslot::signal1<boost::shared_ptr<IPlaylist>, sigslot::multi_threaded_local> PlaylistFinishedSignal;

    // Opens the database, creating the file and its tables when new.
    PlaylistLibrary();
    ~PlaylistLibrary() override;

    // Whether the database is open, or opens now.
    bool IsAvailable();

    // Records the products, in order, in the playlist of that title. False, with nothing of
    // it stored, when the playlist can't be recorded (the database can't be opened, or
    // another reader kept it busy past the wait); throws std::exception when a row can't be
    // inserted.
    bool Create(const std::string& title, const std::vector<std::string>& pcids);
    // Mark every track of the product, in every playlist, whatever the case of its
    // identifier; then announce the playlists that are now finished.
    void SetTrackDownloaded(const std::string& pcid, const std::string& filename);
    void SetTrackExpired(const std::string& pcid);
    // Forgets every playlist. Ids recorded later continue after the cleared ones.
    bool Clear();

private:
    // Opens the database when it is not open yet, and makes its tables then.
    bool Opened();
    void OnDatabaseOpened();
    void OnDatabaseCreated();
    void NotifyPlaylistsFinished(const std::string& pcid);

    boost::scoped_ptr<PlaylistLibraryImpl> impl;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
