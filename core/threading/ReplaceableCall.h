#ifndef CORE_THREADING_REPLACEABLECALL_H
#define CORE_THREADING_REPLACEABLECALL_H

#include <boost/thread/mutex.hpp>

#include <functional>

namespace Vantor::Threading {

// A function that one thread sets, replaces or clears while others call it. Calls hold a lock
// that Set takes too: once Set has returned, the function it replaced is called no more, so
// its owner may go. The function must take no lock that a caller of Set holds.
class ReplaceableCall {
public:
    void Set(const std::function<void()>& replacement);
    // Calls the function; false when none is set.
    bool operator()();

private:
    boost::mutex mutex;
    std::function<void()> function;
};

} // namespace Vantor::Threading

#endif
