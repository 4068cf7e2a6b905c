#include "core/threading/ReplaceableCall.h"

namespace Vantor::Threading {

void ReplaceableCall::Set(const std::function<void()>& replacement)
{
    boost::mutex::scoped_lock lock(mutex);
    function = replacement;
}

bool ReplaceableCall::operator()()
{
    boost::mutex::scoped_lock lock(mutex);
    if (!function)
        return false;
    function();
    return true;
}

} // namespace Vantor::Threading
