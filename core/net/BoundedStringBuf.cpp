#include "core/net/BoundedStringBuf.h"

namespace Vantor::Net {

BoundedStringBuf::BoundedStringBuf(std::streamsize limit)
    : limit(limit)
{
}

std::streamsize BoundedStringBuf::xsputn(const char* data, std::streamsize count)
{
    return Fits(count) ? std::stringbuf::xsputn(data, count) : 0;
}

BoundedStringBuf::int_type BoundedStringBuf::overflow(int_type c)
{
    if (!traits_type::eq_int_type(c, traits_type::eof()) && !Fits(1))
        return traits_type::eof();
    return std::stringbuf::overflow(c);
}

bool BoundedStringBuf::Fits(std::streamsize count) const
{
    return pptr() - pbase() + count <= limit;
}

} // namespace Vantor::Net
