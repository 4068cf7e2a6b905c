#ifndef CORE_SETTINGS_PREFERENCESKEYS_H
#define CORE_SETTINGS_PREFERENCESKEYS_H

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The keys of "Settings.xml", each the text of its own name.
struct PreferencesKeys {
    // int written as a boolean: a proxy type other than -1 is chosen (default 0)
    static const char* const ProxyServerEnabled;
    // int: -1 none, 0 HTTP, 4 SOCKS4, 5 SOCKS5 (default -1)
    static const char* const ProxyServerType;
    // int (80 in the preferences dialog, 0 for the transfer engine when absent)
    static const char* const ProxyServerPort;
    // string (default "")
    static const char* const ProxyServerAddress;
    // string (default "")
    static const char* const ProxyServerUsername;
    // string: base64 of the DES-CBC encrypted password, empty without one (default "")
    static const char* const ProxyServerPassword;
    // string: the music directory chosen by the user; empty for the default one
    static const char* const DownloadDirectory;
    // boolean (default true)
    static const char* const AutoCheckForUpdates;
    // boolean: the post-install page has been opened (default false)
    static const char* const FirstRunCompleted;
    // boolean: show the completed dialog when the queue has finished (default true)
    static const char* const ShowCompletedDialog;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
