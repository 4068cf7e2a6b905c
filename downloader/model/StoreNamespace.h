#ifndef DOWNLOADER_MODEL_STORENAMESPACE_H
#define DOWNLOADER_MODEL_STORENAMESPACE_H

#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The namespaces of the store's own track metadata: the rel of a queue file's
// <meta> element is one of these, a "/" and the key. Both live on the store's web host.
struct StoreNamespace {
    // The store's web host + "/sonvel"
    static const std::string& Store();
    // Store() + "/client"
    static const std::string& Client();
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
