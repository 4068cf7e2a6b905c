#ifndef DOWNLOADER_MODEL_IPLAYLISTTRACK_H
#define DOWNLOADER_MODEL_IPLAYLISTTRACK_H

#include <boost/noncopyable.hpp>

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// One entry of a recorded playlist: a store product and how far its download got.
class IPlaylistTrack : private boost::noncopyable {
public:
    enum Status {
        Pending = 0,
        Downloaded = 1,
        // The download link expired; the track will not arrive.
        Expired = 2
    };

    virtual ~IPlaylistTrack() = default;
    virtual long long GetID() const = 0;
    virtual long long GetPlaylistID() const = 0;
    virtual std::string GetPCID() const = 0;
    // The downloaded file's path; "" while pending or once expired.
    virtual std::string GetFilename() const = 0;
    virtual Status GetStatus() const = 0;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
