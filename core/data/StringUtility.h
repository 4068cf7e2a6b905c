#ifndef CORE_DATA_STRINGUTILITY_H
#define CORE_DATA_STRINGUTILITY_H

#include <string>

namespace Vantor::Data {

// Every text the program shows, stores, logs or hands to the operating system is UTF-8.
// This is where other encodings become UTF-8.
class StringUtility {
public:
    // True when `text` is not empty and holds only the digits 0 to 9.
    static bool IsNumeric(const std::string& text);
    // Reads `text` as Latin-1.
    static std::string Latin1toUTF8(const std::string& text);
    // `text` itself when its first character is a well-formed UTF-8 sequence, otherwise the
    // whole text read as Latin-1. Only the first character decides.
    static std::string MakeUTF8(const std::string& text);
    // The same rule, for texts passed to the file functions of the operating system.
    static std::string MakeOS(std::string text);
    // True when the whole of `text` is well-formed UTF-8 (an empty text is).
    static bool IsUTF8(const std::string& text);
    // A value read from a file: one value is in one encoding, so it is kept when it is UTF-8
    // throughout and otherwise read as Latin-1 as a whole. Every character decides, not only the
    // first: "Caf\xE9" is Latin-1 although it begins with ASCII.
    static std::string ValueToUTF8(const std::string& text);
    // Where the character that begins at `position` ends (the end of the text at or past it). A
    // byte that begins no well-formed UTF-8 sequence is a character of its own.
    static std::string::size_type CharacterEnd(const std::string& text, std::string::size_type position);
    // The length of the longest start of `text` that holds at most `limit` bytes and ends where a
    // character ends: a text cut there is as valid UTF-8 as it was.
    static std::string::size_type CharacterBoundary(const std::string& text, std::string::size_type limit);
    // Each wide character is one UTF-16 code unit. Returns "string conversion failed" when
    // the text ends inside a surrogate pair.
    static std::string UTF16toUTF8(const std::wstring& text);
};

} // namespace Vantor::Data

#endif
