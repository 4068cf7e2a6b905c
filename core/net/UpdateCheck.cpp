#include "core/net/UpdateCheck.h"

#include "core/data/ParseXmlText.h"
#include "core/data/StringUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/localization/TranslationService.h"
#include "core/net/BoundedStringBuf.h"
#include "core/net/StoreWebHost.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <tinyxml.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace Vantor::Net {

using Vantor::Data::StringUtility;
using Vantor::Diagnostic::Debug;
using Vantor::Settings::Version;

namespace {

// An update answer is a few hundred bytes; anything past this is not one, and is not
// held in memory or parsed.
const std::streamsize kAnswerLimit = 1024 * 1024;

std::string Attribute(const TiXmlElement* element, const char* name)
{
    const char* value = element->Attribute(name);
    return value ? value : "";
}

} // namespace

UpdateCheck::UpdateInfo::UpdateInfo()
    : found(false), updateAvailable(false), critical(false)
{
}

UpdateCheck::UpdateCheck(const std::string& productName, const std::string& platform, const Version& current)
    : current(current), productName(productName), platform(platform), closing(false)
{
    std::string locale = boost::algorithm::to_lower_copy(
        StringUtility::MakeUTF8(Vantor::Localization::TranslationService::Instance()->GetLocale()));
    if (locale == "en_gb")
        locale = "en_uk";
    if (!locale.empty() && locale != "en_us")
        this->platform += "-" + locale;
}

UpdateCheck::~UpdateCheck()
{
    {
        boost::mutex::scoped_lock lock(checksMutex);
        closing = true;
        for (Download* transfer : transfers)
            transfer->Cancel();
    }
    for (boost::thread& thread : checkThreads)
        thread.join();
}

void UpdateCheck::CheckAsync()
{
    boost::mutex::scoped_lock lock(checksMutex);
    // Threads whose check has ended need no more waiting for.
    checkThreads.remove_if([](boost::thread& thread) { return thread.timed_join(boost::posix_time::seconds(0)); });
    checkThreads.emplace_back(&UpdateCheck::ThreadEntry, this);
}

void UpdateCheck::ThreadEntry()
{
    const UpdateInfo info = CheckSync();
    {
        boost::mutex::scoped_lock lock(checksMutex);
        if (closing)
            return;
    }
    UpdateCompletedSignal.emit(info);
}

UpdateCheck::UpdateInfo UpdateCheck::CheckSync()
{
    Debug::LogString("UpdateCheck: started");
    const std::string fallback = std::string(kStoreWebHost) + "/gp/sonvel/current_download_manager_version.html";
    const std::string url = StringUtility::MakeUTF8(Vantor::Localization::TranslationService::Instance()->Translate(
        StringUtility::MakeUTF8("sonvel_url_update_check"), StringUtility::MakeUTF8(fallback)));

    Download transfer(url.c_str(), 0);
    BoundedStringBuf buffer(kAnswerLimit);
    std::ostream answer(&buffer);
    {
        boost::mutex::scoped_lock lock(checksMutex);
        if (closing)
            return UpdateInfo();
        transfers.insert(&transfer);
    }
    transfer.DownloadSync(answer);
    {
        boost::mutex::scoped_lock lock(checksMutex);
        transfers.erase(&transfer);
    }

    const UpdateInfo info = ParseXml(buffer.str());
    Debug::LogString("UpdateCheck: finished");
    return info;
}

UpdateCheck::UpdateInfo UpdateCheck::ParseXml(const std::string& xml)
{
    TiXmlDocument document;
    Data::ParseXmlText(document, xml);
    const TiXmlElement* root = document.FirstChildElement("ArrayOfProduct");
    const TiXmlElement* product = root ? root->FirstChildElement("Product") : nullptr;
    for (; product; product = product->NextSiblingElement("Product")) {
        const char* name = product->Attribute("name");
        const char* productPlatform = product->Attribute("platform");
        if (name && productPlatform && productName == name && platform == productPlatform)
            break;
    }
    UpdateInfo info;
    if (!product || !ParseVersion(product->Attribute("latestVersion"), info.latestVersion))
        return UpdateInfo();
    if (info.latestVersion > current) {
        Version criticalSince;
        if (!ParseVersion(product->Attribute("criticalSince"), criticalSince))
            return UpdateInfo();
        info.updateAvailable = true;
        info.critical = criticalSince >= current;
    }
    // An entry without an address still tells the latest version.
    info.url = Attribute(product, "url");
    info.found = true;
    return info;
}

bool UpdateCheck::ParseVersion(const char* text, Version& version)
{
    if (!text)
        return false;
    const std::string value(text);
    const std::string::size_type first = value.find('.');
    const std::string::size_type second = first == std::string::npos ? std::string::npos : value.find('.', first + 1);
    const std::string parts[] = {
        value.substr(0, first),
        first == std::string::npos ? std::string() : value.substr(first + 1, second - first - 1),
        second == std::string::npos ? std::string() : value.substr(second + 1),
    };
    unsigned int numbers[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        if (!StringUtility::IsNumeric(parts[i])) {
            version = Version();
            return false;
        }
        errno = 0;
        const unsigned long number = std::strtoul(parts[i].c_str(), nullptr, 10);
        // A number too large for a version part is no version either.
        if (errno == ERANGE || number > UINT_MAX) {
            version = Version();
            return false;
        }
        numbers[i] = static_cast<unsigned int>(number);
    }
    version = Version(numbers[0], numbers[1], numbers[2]);
    return true;
}

} // namespace Vantor::Net
