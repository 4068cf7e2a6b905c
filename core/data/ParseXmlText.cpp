#include "core/data/ParseXmlText.h"

#include <algorithm>

namespace Vantor::Data {

void ParseXmlText(TiXmlDocument& document, std::string text, TiXmlEncoding encoding)
{
    text.resize(std::min(text.find('\0'), text.size()));
    text.append(3, '\0');
    document.Parse(text.c_str(), nullptr, encoding);
}

} // namespace Vantor::Data
