#include "downloader/model/StoreNamespace.h"

namespace Vantor {
namespace DigitalMedia {
namespace MusicClient {
namespace Downloader {

const char* const StoreNamespace::Host = "www.vantormp3.example";

// Built on first use, so other static objects may use them while being constructed.
const std::string& StoreNamespace::Store()
{
    static const std::string store = std::string("http://") + Host + "/sonvel";
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
