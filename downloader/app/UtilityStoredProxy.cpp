#include "downloader/app/UtilityStoredProxy.h"

#include "core/diagnostic/Debug.h"
#include "core/settings/PreferencesKeys.h"
#include "downloader/app/UtilityProxyPassword.h"

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

namespace {

typedef Net::Download::ProxyHost ProxyHost;

const int kNoProxy = -1;
const int kLowestPort = 1;
const int kHighestPort = 65535;

void LogUnused(const char* key, int value)
{
    Diagnostic::Debug::LogString(std::string("Preferences: ignoring ") + key + " " + std::to_string(value) +
                                 ", which the transfer engine can't take");
}

} // namespace

std::optional<ProxyHost::ProxyType> StoredProxyType(const Settings::Preferences& preferences)
{
    const int type = preferences.GetInt(PreferencesKeys::ProxyServerType, kNoProxy);
    // Only the enumeration's own values may become one: any other number in it is undefined.
    for (const ProxyHost::ProxyType known : {ProxyHost::HTTP, ProxyHost::SOCKS4, ProxyHost::SOCKS5})
        if (type == known)
            return known;
    if (type != kNoProxy)
        LogUnused(PreferencesKeys::ProxyServerType, type);
    return std::nullopt;
}

std::optional<unsigned int> StoredProxyPort(const Settings::Preferences& preferences, int absent)
{
    const int port = preferences.GetInt(PreferencesKeys::ProxyServerPort, absent);
    if (port >= kLowestPort && port <= kHighestPort)
        return static_cast<unsigned int>(port);
    LogUnused(PreferencesKeys::ProxyServerPort, port);
    return std::nullopt;
}

ProxyHost StoredProxyHost(const Settings::Preferences& preferences)
{
    if (!preferences.GetBool(PreferencesKeys::ProxyServerEnabled, false))
        return ProxyHost();
    const std::optional<ProxyHost::ProxyType> type = StoredProxyType(preferences);
    const std::optional<unsigned int> port = StoredProxyPort(preferences, 0);
    if (!type || !port)
        return ProxyHost();
    const std::string address = preferences.GetString(PreferencesKeys::ProxyServerAddress, "");
    const std::string user = preferences.GetString(PreferencesKeys::ProxyServerUsername, "");
    const std::string password = RevealProxyPassword(preferences.GetString(PreferencesKeys::ProxyServerPassword, ""));
    return ProxyHost(*type, address.c_str(), *port, user.c_str(), password.c_str());
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
