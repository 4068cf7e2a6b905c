#ifndef DOWNLOADER_APP_UTILITYTRANSLATE_H
#define DOWNLOADER_APP_UTILITYTRANSLATE_H

#include <string>

namespace Vantor {
namespace DigitalMedia {
namespace MusicClient {
namespace Downloader {
namespace Utility {

// The current locale's text for `key`, or `english` when it has none. The translation
// service must have been started.
std::string Translate(const std::string& key, const std::string& english);

} // namespace Utility
} // namespace Downloader
} // namespace MusicClient
} // namespace DigitalMedia
} // namespace Vantor

#endif
