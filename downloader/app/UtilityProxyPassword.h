#ifndef DOWNLOADER_APP_UTILITYPROXYPASSWORD_H
#define DOWNLOADER_APP_UTILITYPROXYPASSWORD_H

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

// The form in which "Settings.xml" keeps the proxy password: base64 of its DES-CBC
// encryption, empty for no password.
std::string ProtectProxyPassword(const std::string& password);

// The password kept in that form. A hand-edited value that is not base64, or not a cipher
// text, is logged and read as no password: it must not end the program.
std::string RevealProxyPassword(const std::string& stored);

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility

#endif
