#include "downloader/model/PlaylistImpl.h"

PlaylistImpl::PlaylistImpl(long long id, const std::string& title, const Tracks& tracks)
    : id(id), title(title), tracks(tracks)
{
}

long long PlaylistImpl::GetID() const
{
    return id;
}

std::string PlaylistImpl::GetTitle() const
{
    return title;
}

int PlaylistImpl::Count() const
{
    return static_cast<int>(tracks.size());
}

boost::shared_ptr<Vantor::DigitalMedia::MusicClient::Downloader::IPlaylistTrack> PlaylistImpl::GetTrack(int index) const
{
    // A negative index becomes a huge one and is refused like any other out of range.
    return tracks.at(static_cast<Tracks::size_type>(index));
}
