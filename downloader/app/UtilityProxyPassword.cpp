#include "downloader/app/UtilityProxyPassword.h"

#include "core/data/CryptoUtility.h"
#include "core/diagnostic/Debug.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility {

using Data::CryptoUtility;

std::string ProtectProxyPassword(const std::string& password)
{
    if (password.empty())
        return std::string();
    std::string cipher;
    CryptoUtility::EncryptString(password, cipher);
    std::string text;
    CryptoUtility::Base64Encode(cipher.data(), static_cast<int>(cipher.size()), text);
    return text;
}

std::string RevealProxyPassword(const std::string& stored)
{
    if (stored.empty())
        return std::string();
    try {
        std::string cipher;
        CryptoUtility::Base64Decode(stored.data(), static_cast<int>(stored.size()), cipher);
        std::string password;
        CryptoUtility::DecryptString(cipher, password);
        return password;
    } catch (const CryptoUtility::Base64DecodeException&) {
    } catch (const CryptoUtility::DecryptException&) {
    }
    Diagnostic::Debug::LogString("The stored proxy password can't be read; using none");
    return std::string();
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader::Utility
