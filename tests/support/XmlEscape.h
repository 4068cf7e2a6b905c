#ifndef TESTS_SUPPORT_XMLESCAPE_H
#define TESTS_SUPPORT_XMLESCAPE_H

#include <string>

namespace VantorTest {

// `text` with the characters that XML markup gives a meaning escaped, for documents the
// tests write by hand.
inline std::string EscapeXml(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

} // namespace VantorTest

#endif
