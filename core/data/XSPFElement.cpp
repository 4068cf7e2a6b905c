#include "core/data/XSPFElement.h"

#include "core/data/StringUtility.h"

#include <tinyxml.h>

namespace Vantor::Data {

XSPFElement::XSPFElement(const std::string& name, const std::string& value)
    : name(name), value(value)
{
}

XSPFElement::~XSPFElement() = default;

void XSPFElement::Save(TiXmlElement* parent)
{
    parent->LinkEndChild(NewElementWithValue(name));
}

TiXmlElement* XSPFElement::NewElementWithValue(const std::string& elementName) const
{
    TiXmlElement* element = new TiXmlElement(elementName);
    // The text node is linked even when empty, so the element keeps its closing tag.
    element->LinkEndChild(new TiXmlText(StringUtility::MakeUTF8(value).c_str()));
    return element;
}

} // namespace Vantor::Data
