#include "tests/support/TranslationFile.h"

#include "tests/support/TempDirectory.h"

namespace VantorTest {

namespace {

std::string EscapeXml(const std::string& text)
{
    std::string escaped;
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

} // namespace

void WriteTranslationFile(const std::string& path, const std::string& name,
                          const std::map<std::string, std::string>& texts)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<translation>\n  <name>" + EscapeXml(name)
        + "</name>\n  <strings>\n";
    for (const auto& entry : texts)
        xml += "    <string base=\"" + EscapeXml(entry.first) + "\" translated=\"" + EscapeXml(entry.second) + "\"/>\n";
    xml += "  </strings>\n</translation>\n";
    WriteFile(path, xml);
}

} // namespace VantorTest
