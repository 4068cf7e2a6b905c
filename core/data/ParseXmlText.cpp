#include "core/data/ParseXmlText.h"

#include "core/data/StringUtility.h"

#include <algorithm>

namespace Vantor::Data {

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";

} // namespace

void ParseXmlText(TiXmlDocument& document, std::string text, TiXmlEncoding encoding)
{
    text.resize(std::min(text.find('\0'), text.size()));
    text.append(3, '\0');
    document.Parse(text.c_str(), nullptr, encoding);
}

void ParseXmlTextKeepingBytes(TiXmlDocument& document, const std::string& text)
{
    if (StringUtility::IsUTF8(text)) {
        ParseXmlText(document, text);
        return;
    }
    // Only the UTF-8 reading passes over a byte order mark; read byte by byte, the document
    // would seem to end before its first element.
    const std::string::size_type mark = text.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
    ParseXmlText(document, text.substr(mark), TIXML_ENCODING_LEGACY);
}

} // namespace Vantor::Data
