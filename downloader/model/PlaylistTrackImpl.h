#ifndef DOWNLOADER_MODEL_PLAYLISTTRACKIMPL_H
#define DOWNLOADER_MODEL_PLAYLISTTRACKIMPL_H

#include "downloader/model/IPlaylistTrack.h"

// A playlist entry as read from the playlist library; it never changes afterwards.
class PlaylistTrackImpl : public Vantor::DigitalMedia::MusicClient::Downloader::IPlaylistTrack {
public:
    PlaylistTrackImpl(long long id, long long playlistId, const std::string& pcid, const std::string& filename,
                      Status status);

    long long GetID() const override;
    long long GetPlaylistID() const override;
    std::string GetPCID() const override;
    std::string GetFilename() const override;
    Status GetStatus() const override;

private:
    const long long id;
    const long long playlistId;
    const std::string pcid;
    const std::string filename;
    const Status status;
};

#endif
