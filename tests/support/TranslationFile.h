#ifndef TESTS_SUPPORT_TRANSLATIONFILE_H
#define TESTS_SUPPORT_TRANSLATIONFILE_H

#include "tests/support/TempDirectory.h"

#include <map>

namespace VantorTest {

inline std::string EscapeXml(const std::string& text)
{
    std::string escaped;
    for (char c : text)
        escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : std::string(1, c);
    return escaped;
}

// `text` `times` over: long names of characters of several bytes.
inline std::string Repeated(const std::string& text, int times)
{
    std::string result;
    while (times-- > 0)
        result += text;
    return result;
}

// The one builder of the documents the tests write (translations, queue files, tracks):
// <name attributes>inner</name>, where `inner` is markup.
inline std::string XmlElement(const std::string& name, const std::string& inner, const std::string& attributes = "")
{
    return "<" + name + attributes + ">" + inner + "</" + name + ">";
}

// A translation file for the locale `name`: the store's addresses or texts a test sets.
inline void WriteTranslationFile(const std::string& path, const std::string& name, const std::map<std::string, std::string>& texts)
{
    std::string strings;
    for (const auto& text : texts)
        strings += XmlElement("string", "", " base=\"" + EscapeXml(text.first) + "\" translated=\"" + EscapeXml(text.second) + "\"");
    WriteFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        + XmlElement("translation", XmlElement("name", EscapeXml(name)) + XmlElement("strings", strings)));
}

} // namespace VantorTest

#endif
