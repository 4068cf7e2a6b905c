#include "downloader/model/DownloadModel.h"

#include "downloader/model/DownloadModelTrack.h"

namespace Vantor {
namespace DigitalMedia {
namespace MusicClient {
namespace Downloader {

boost::shared_ptr<DownloadModel::Track> DownloadModel::LoadTrack(TiXmlElement* track)
{
    return boost::shared_ptr<Track>(new Track(track));
}

} // namespace Downloader
} // namespace MusicClient
} // namespace DigitalMedia
} // namespace Vantor
