#ifndef DOWNLOADER_APP_UTILITYSTOREDPROXY_H
#define DOWNLOADER_APP_UTILITYSTOREDPROXY_H

#include "core/net/Download.h"
#include "core/settings/Preferences.h"

#include <optional>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// The proxy as "Settings.xml" keeps it, read for the transfer engine and for the preferences
// dialog alike. The file may have been edited by hand: a value the engine can't take is
// logged and not used, never handed on.

// The stored type as the engine's ProxyType. None for -1 (no proxy chosen) and for any
// other number that is not one of the engine's types (logged).
std::optional<Net::Download::ProxyHost::ProxyType> StoredProxyType(const Settings::Preferences& preferences);

// The stored port, `absent` when none is stored. None when it lies outside 1-65535 (logged).
std::optional<unsigned int> StoredProxyPort(const Settings::Preferences& preferences, int absent);

// The proxy every transfer is to use: the stored one, its password revealed, when it is
// enabled and its type and port are sound; a direct connection otherwise.
Net::Download::ProxyHost StoredProxyHost(const Settings::Preferences& preferences);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
