#ifndef CORE_NET_STOREWEBHOST_H
#define CORE_NET_STOREWEBHOST_H

namespace Vantor::Net {

// The store's web service in the built-in addresses, without a closing "/". Every address
// built on it is also a translation key's default, so installed translations (and tests)
// can point it elsewhere.
constexpr const char kStoreWebHost[] = "http://store.vantormp3.example";

} // namespace Vantor::Net

#endif
