#ifndef CORE_NET_BOUNDEDSTRINGBUF_H
#define CORE_NET_BOUNDEDSTRINGBUF_H

#include <sstream>

namespace Vantor::Net {

// A memory buffer for an answer from outside that refuses to grow beyond `limit` bytes: the
// write that would pass it fails, and with it the transfer writing into it. Nothing past the
// limit is held in memory.
class BoundedStringBuf : public std::stringbuf {
public:
    explicit BoundedStringBuf(std::streamsize limit);

protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override;
    int_type overflow(int_type c) override;

private:
    // Whether `count` more bytes from the put position stay within the limit.
    bool Fits(std::streamsize count) const;

    const std::streamsize limit;
};

} // namespace Vantor::Net

#endif
