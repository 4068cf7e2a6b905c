#include "tests/support/TranslationFile.h"

#include "tests/support/TempDirectory.h"
#include "tests/support/XmlEscape.h"

namespace VantorTest {

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
