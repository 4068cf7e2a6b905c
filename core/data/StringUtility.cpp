#include "core/data/StringUtility.h"

#include "core/data/UnicodeConversion.h"

#include <algorithm>
#include <vector>

namespace Vantor::Data {

namespace {

const char kConversionFailed[] = "string conversion failed";

bool StartsWithUTF8(const std::string& text)
{
    // std::string keeps a terminating zero, so an empty text reads as a one-byte sequence
    // that runs past the end: not UTF-8.
    const UTF8* begin = reinterpret_cast<const UTF8*>(text.c_str());
    return isLegalUTF8Sequence(begin, begin + text.size());
}

// The length of the well-formed UTF-8 sequence at `position` (which lies inside `text`); 0 when
// there is none.
std::string::size_type SequenceLengthAt(const std::string& text, std::string::size_type position)
{
    const UTF8* begin = reinterpret_cast<const UTF8*>(text.data());
    return static_cast<std::string::size_type>(LegalUTF8SequenceLength(begin + position, begin + text.size()));
}

} // namespace

bool StringUtility::IsNumeric(const std::string& text)
{
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::string StringUtility::Latin1toUTF8(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            result += c;
        } else {
            result += static_cast<char>(0xC0 | (b >> 6));
            result += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return result;
}

std::string StringUtility::MakeUTF8(const std::string& text)
{
    return StartsWithUTF8(text) ? text : Latin1toUTF8(text);
}

bool StringUtility::IsUTF8(const std::string& text)
{
    for (std::string::size_type position = 0; position < text.size();) {
        const std::string::size_type length = SequenceLengthAt(text, position);
        if (length == 0) return false;
        position += length;
    }
    return true;
}

std::string StringUtility::ValueToUTF8(const std::string& text)
{
    return IsUTF8(text) ? text : Latin1toUTF8(text);
}

std::string::size_type StringUtility::CharacterEnd(const std::string& text, std::string::size_type position)
{
    if (position >= text.size()) return text.size();
    return position + std::max<std::string::size_type>(SequenceLengthAt(text, position), 1);
}

std::string::size_type StringUtility::CharacterBoundary(const std::string& text, std::string::size_type limit)
{
    std::string::size_type end = 0;
    for (std::string::size_type next; end < text.size() && (next = CharacterEnd(text, end)) <= limit;) end = next;
    return end;
}

std::string StringUtility::MakeOS(std::string text)
{
    return StartsWithUTF8(text) ? text : Latin1toUTF8(text);
}

std::string StringUtility::UTF16toUTF8(const std::wstring& text)
{
    // Characters above 0xFFFF are not UTF-16 code units; they are cut to their low 16 bits.
    std::vector<UTF16> units(text.begin(), text.end());
    std::vector<UTF8> buffer(text.size() * 4 + 1, 0);
    const UTF16* source = units.data();
    UTF8* target = buffer.data();
    const ConversionResult result = ConvertUTF16toUTF8(&source, source + units.size(), &target,
                                                       buffer.data() + buffer.size(), lenientConversion);
    if (result != conversionOK) return kConversionFailed;
    return std::string(reinterpret_cast<const char*>(buffer.data()));
}

} // namespace Vantor::Data
