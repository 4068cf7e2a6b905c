#include "downloader/model/PlaylistTrackImpl.h"

PlaylistTrackImpl::PlaylistTrackImpl(long long id, long long playlistId, const std::string& pcid,
                                     const std::string& filename, Status status)
    : id(id), playlistId(playlistId), pcid(pcid), filename(filename), status(status)
{
}

long long PlaylistTrackImpl::GetID() const
{
    return id;
}

long long PlaylistTrackImpl::GetPlaylistID() const
{
    return playlistId;
}

std::string PlaylistTrackImpl::GetPCID() const
{
    return pcid;
}

std::string PlaylistTrackImpl::GetFilename() const
{
    return filename;
}

PlaylistTrackImpl::Status PlaylistTrackImpl::GetStatus() const
{
    return status;
}
