#include "core/settings/PreferencesKeys.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader {

const char* const PreferencesKeys::ProxyServerEnabled = "ProxyServerEnabled";
const char* const PreferencesKeys::ProxyServerType = "ProxyServerType";
const char* const PreferencesKeys::ProxyServerPort = "ProxyServerPort";
const char* const PreferencesKeys::ProxyServerAddress = "ProxyServerAddress";
const char* const PreferencesKeys::ProxyServerUsername = "ProxyServerUsername";
const char* const PreferencesKeys::ProxyServerPassword = "ProxyServerPassword";
const char* const PreferencesKeys::DownloadDirectory = "DownloadDirectory";
const char* const PreferencesKeys::AutoCheckForUpdates = "AutoCheckForUpdates";
const char* const PreferencesKeys::FirstRunCompleted = "FirstRunCompleted";
const char* const PreferencesKeys::ShowCompletedDialog = "ShowCompletedDialog";

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
