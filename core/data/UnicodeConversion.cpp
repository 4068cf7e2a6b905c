#include "core/data/UnicodeConversion.h"

namespace Vantor::Data {

namespace {

typedef std::uint32_t UTF32;

const UTF32 kReplacementChar = 0xFFFD;
const UTF32 kMaxLegalUTF32 = 0x10FFFF;
const UTF32 kHighSurrogateStart = 0xD800;
const UTF32 kHighSurrogateEnd = 0xDBFF;
const UTF32 kLowSurrogateStart = 0xDC00;
const UTF32 kLowSurrogateEnd = 0xDFFF;

// Trailing bytes announced by each lead byte.
int TrailingBytes(UTF8 lead)
{
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 1;
    if (lead < 0xF0) return 2;
    if (lead < 0xF8) return 3;
    if (lead < 0xFC) return 4;
    return 5;
}

const UTF8 kFirstByteMark[5] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};

bool IsLegalUTF8(const UTF8* source, int length)
{
    if (length > 4) return false;
    // Bytes after the first must be continuation bytes.
    for (int i = length - 1; i >= 1; --i) {
        if (source[i] < 0x80 || source[i] > 0xBF) return false;
    }
    const UTF8 first = source[0];
    if (length > 1) {
        const UTF8 second = source[1];
        switch (first) {
        case 0xE0: if (second < 0xA0) return false; break;
        case 0xED: if (second > 0x9F) return false; break;
        case 0xF0: if (second < 0x90) return false; break;
        case 0xF4: if (second > 0x8F) return false; break;
        default: break;
        }
    }
    if (first >= 0x80 && first < 0xC2) return false;
    if (first > 0xF4) return false;
    return true;
}

} // namespace

ConversionResult ConvertUTF16toUTF8(const UTF16** sourceStart, const UTF16* sourceEnd,
                                    UTF8** targetStart, UTF8* targetEnd, ConversionFlags flags)
{
    ConversionResult result = conversionOK;
    const UTF16* source = *sourceStart;
    UTF8* target = *targetStart;
    while (source < sourceEnd) {
        const UTF16* oldSource = source;
        UTF32 ch = *source++;
        if (ch >= kHighSurrogateStart && ch <= kHighSurrogateEnd) {
            if (source >= sourceEnd) {
                source = oldSource;
                result = sourceExhausted;
                break;
            }
            const UTF32 ch2 = *source;
            if (ch2 >= kLowSurrogateStart && ch2 <= kLowSurrogateEnd) {
                ch = ((ch - kHighSurrogateStart) << 10) + (ch2 - kLowSurrogateStart) + 0x10000;
                ++source;
            } else if (flags == strictConversion) {
                source = oldSource;
                result = sourceIllegal;
                break;
            }
        } else if (flags == strictConversion && ch >= kLowSurrogateStart && ch <= kLowSurrogateEnd) {
            source = oldSource;
            result = sourceIllegal;
            break;
        }

        int bytesToWrite;
        if (ch < 0x80) bytesToWrite = 1;
        else if (ch < 0x800) bytesToWrite = 2;
        else if (ch < 0x10000) bytesToWrite = 3;
        else if (ch <= kMaxLegalUTF32) bytesToWrite = 4;
        else { bytesToWrite = 3; ch = kReplacementChar; }

        if (targetEnd - target < bytesToWrite) {
            source = oldSource;
            result = targetExhausted;
            break;
        }
        target += bytesToWrite;
        UTF8* out = target;
        for (int i = bytesToWrite; i > 1; --i) {
            *--out = static_cast<UTF8>((ch | 0x80) & 0xBF);
            ch >>= 6;
        }
        *--out = static_cast<UTF8>(ch | kFirstByteMark[bytesToWrite]);
    }
    *sourceStart = source;
    *targetStart = target;
    return result;
}

int LegalUTF8SequenceLength(const UTF8* source, const UTF8* sourceEnd)
{
    const int length = TrailingBytes(*source) + 1;
    if (length > sourceEnd - source) return 0;
    return IsLegalUTF8(source, length) ? length : 0;
}

bool isLegalUTF8Sequence(const UTF8* source, const UTF8* sourceEnd)
{
    return LegalUTF8SequenceLength(source, sourceEnd) != 0;
}

} // namespace Vantor::Data
