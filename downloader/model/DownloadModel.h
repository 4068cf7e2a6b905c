#ifndef DOWNLOADER_MODEL_DOWNLOADMODEL_H
#define DOWNLOADER_MODEL_DOWNLOADMODEL_H

#include <boost/shared_ptr.hpp>

class TiXmlElement;

namespace Vantor {
namespace DigitalMedia {
namespace MusicClient {
namespace Downloader {

// The download queue. Each nested type has a header of its own named after the model and
// the type: DownloadModelTrack.h holds Track.
class DownloadModel {
public:
    class Track;

    // The metadata of one queued file read from a queue file's <track> element; a null
    // element gives an empty track.
    static boost::shared_ptr<Track> LoadTrack(TiXmlElement* track);
};

} // namespace Downloader
} // namespace MusicClient
} // namespace DigitalMedia
} // namespace Vantor

#endif
