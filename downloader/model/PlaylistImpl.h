#ifndef DOWNLOADER_MODEL_PLAYLISTIMPL_H
#define DOWNLOADER_MODEL_PLAYLISTIMPL_H

#include "downloader/model/IPlaylist.h"

#include <vector>

// A playlist as read from the playlist library; it never changes afterwards.
class PlaylistImpl : public Vantor::DigitalMedia::MusicClient::Downloader::IPlaylist {
public:
    typedef std::vector<boost::shared_ptr<Vantor::DigitalMedia::MusicClient::Downloader::IPlaylistTrack>> Tracks;

    PlaylistImpl(long long id, const std::string& title, const Tracks& tracks);

    long long GetID() const override;
    std::string GetTitle() const override;
    int Count() const override;
    boost::shared_ptr<Vantor::DigitalMedia::MusicClient::Downloader::IPlaylistTrack> GetTrack(int index) const override;

private:
    const long long id;
    const std::string title;
    const Tracks tracks;
};

#endif
