#ifndef DOWNLOADER_MODEL_DOWNLOADTYPE_H
#define DOWNLOADER_MODEL_DOWNLOADTYPE_H

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The kind of a queued file, from its "trackType" or the extension of its location.
enum class DownloadType : int { Undetermined = -1, Audio = 0, Video = 1, Document = 2 };

// Which of a purchase's bonus videos the import keeps.
enum class VideoFormat : int { MP4 = 0, WMV = 1 };

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
