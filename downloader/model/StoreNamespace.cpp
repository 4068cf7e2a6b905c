#include "downloader/model/StoreNamespace.h"

#include "core/net/StoreWebHost.h"

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// Built on first use, so other static objects may use them while being constructed.
const std::string& StoreNamespace::Store()
{
    static const std::string store = std::string(Vantor::Net::kStoreWebHost) + "/sonvel";
    return store;
}

const std::string& StoreNamespace::Client()
{
    static const std::string client = Store() + "/client";
    return client;
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
