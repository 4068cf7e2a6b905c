#include "core/data/ParseXmlText.h"

#include "core/data/StringUtility.h"
#include "core/data/XmlScan.h"

#include <algorithm>

namespace Vantor::Data {

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

// Far deeper than a queue file (seven levels), the settings or an update answer (two); a few
// hundred levels take the parser a few dozen kilobytes of stack.
const std::size_t kMaxNesting = 256;

} // namespace

void ParseXmlText(TiXmlDocument& document, std::string text)
{
    // TinyXML takes a UTF-8 lead byte's announced length on trust and steps over a NUL inside
    // that length, on into whatever memory follows the text; so the text ends at its first
    // NUL, where the parser would end it, and three more NULs (the most a lead byte announces)
    // keep every step inside it.
    text.resize(std::min(text.find('\0'), text.size()));
    const TiXmlEncoding encoding = StringUtility::IsUTF8(text) ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_LEGACY;
    // Only the UTF-8 reading passes over a byte order mark; read byte by byte, the document
    // would seem to end before its first element.
    if (encoding == TIXML_ENCODING_LEGACY && text.compare(0, 3, kByteOrderMark) == 0)
        text.erase(0, 3);
    text.append(3, '\0');

    const XmlScan scan(text, encoding, kMaxNesting);
    if (scan.TooDeep()) {
        document.SetError(TiXmlBase::TIXML_ERROR_PARSING_ELEMENT, nullptr, nullptr, encoding);
        return;
    }
    document.Parse(scan.Text().c_str(), nullptr, encoding);
}

} // namespace Vantor::Data
