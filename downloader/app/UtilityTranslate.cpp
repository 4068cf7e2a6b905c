#include "downloader/app/UtilityTranslate.h"

#include "core/data/StringUtility.h"
#include "core/localization/TranslationService.h"

namespace Vantor {
namespace DigitalMedia {
namespace MusicClient {
namespace Downloader {
namespace Utility {

std::string Translate(const std::string& key, const std::string& english)
{
    return Localization::TranslationService::Instance()->Translate(Data::StringUtility::MakeUTF8(key),
                                                                   Data::StringUtility::MakeUTF8(english));
}

} // namespace Utility
} // namespace Downloader
} // namespace MusicClient
} // namespace DigitalMedia
} // namespace Vantor
