#ifndef DOWNLOADER_MODEL_IPLAYLIST_H
#define DOWNLOADER_MODEL_IPLAYLIST_H

#include "downloader/model/IPlaylistTrack.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// A playlist as recorded in the playlist library, with its tracks in playlist order.
class IPlaylist : private boost::noncopyable {
public:
    virtual ~IPlaylist() = default;
    virtual long long GetID() const = 0;
    virtual std::string GetTitle() const = 0;
    virtual int Count() const = 0;
    // Throws std::out_of_range for an index at or beyond Count().
    virtual boost::shared_ptr<IPlaylistTrack> GetTrack(int index) const = 0;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
