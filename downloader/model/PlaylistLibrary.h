#ifndef DOWNLOADER_MODEL_PLAYLISTLIBRARY_H
#define DOWNLOADER_MODEL_PLAYLISTLIBRARY_H

#include "core/sigslot/sigslot.h"
#include "downloader/model/IPlaylist.h"

#include <boost/noncopyable.hpp>
#include <boost/scoped_ptr.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include <string>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

class PlaylistLibraryImpl;

// The playlists that come with a purchase and the download status of their tracks, kept in
// "vantormp3.db" in the settings directory. Every operation may be called from any thread;
// they run one at a time. A database that can't be opened fails each operation, which tries
// to open it again first: a folder set right needs no restart. One that can't be read (no
// database, damaged, cut short) is kept aside and a new one made. Another program holding it
// is waited for a few seconds at most in any one operation, and not at all while it is known
// to hold it, so that no caller waits long for a database it can't have.
class PlaylistLibrary : public sigslot::has_slots<sigslot::multi_threaded_local>, private boost::noncopyable {
public:
    // What the user should hear of the database.
    struct Trouble {
        enum Kind {
            // It could not be read; it is now at `keptAt`, and a new one took its place.
            Damaged,
            // Another program held it past the wait: what was to be recorded is not.
            Held,
            // It can't be opened.
            Unopenable,
        };
        Kind kind;
        std::string keptAt;
    };

    // Emitted, with the library locked, for each playlist that a marked track left without
    // a pending track: a slot must not call back into the library.
    sigslot::signal1<boost::shared_ptr<IPlaylist>, sigslot::multi_threaded_local> PlaylistFinishedSignal;
    // Emitted, on the thread of the operation and with the library locked, when a trouble
    // waits to be taken: a slot may only call TakeTroubles.
    sigslot::signal0<sigslot::multi_threaded_local> TroubleSignal;

    // Opens the database, creating the file and its tables when new.
    PlaylistLibrary();
    ~PlaylistLibrary() override;

    // The troubles found since the last call, oldest first, the opening's included; each is
    // found once, when it begins (Held and Unopenable again only after the database has been
    // usable in between). Never waits for an operation under way.
    std::vector<Trouble> TakeTroubles();

    // Records the products, in order, in the playlist of that title. False, with nothing of
    // it stored, when the playlist can't be recorded (the database can't be opened, or
    // another program kept it busy past the wait); throws std::exception when a row can't be
    // inserted.
    bool Create(const std::string& title, const std::vector<std::string>& pcids);
    // Mark every track of the product, in every playlist, whatever the case of its
    // identifier; then announce the playlists that are now finished.
    void SetTrackDownloaded(const std::string& pcid, const std::string& filename);
    void SetTrackExpired(const std::string& pcid);
    // Forgets every playlist. Ids recorded later continue after the cleared ones.
    bool Clear();

private:
    class Operation;
    // How the last operation found the database.
    enum class Access { Usable, Held, Unopenable };

    void OnDatabaseOpened();
    void OnDatabaseCreated();
    void NotifyPlaylistsFinished(const std::string& pcid);
    void Found(const Trouble& trouble);

    Access access = Access::Usable;
    // Its own lock: taking the troubles must not wait for an operation, which may wait for
    // another program.
    boost::mutex troublesMutex;
    std::vector<Trouble> troubles;
    boost::scoped_ptr<PlaylistLibraryImpl> impl;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
