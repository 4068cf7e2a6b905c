#include "downloader/model/StoreNamespace.h"

#include "core/net/StoreWebHost.h"

namespace Vantor {
namespace DigitalMedia {
namespace MusicClient {
namespace Downloader {

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

} // namespace Downloader
} // namespace MusicClient
} // namespace DigitalMedia
} // namespace Vantor
