#include "core/data/XSPFElement.h"

#include "core/data/StringUtility.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstring>

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

void XSPFElement::AppendXml(std::string& xml) const
{
    AppendElementWithValue(name.c_str(), "", xml);
}

TiXmlElement* XSPFElement::NewElementWithValue(const std::string& elementName) const
{
    TiXmlElement* element = new TiXmlElement(elementName);
    // The text node is linked even when empty, so the element keeps its closing tag.
    element->LinkEndChild(new TiXmlText(StringUtility::MakeUTF8(value).c_str()));
    return element;
}

void XSPFElement::AppendElementWithValue(const char* elementName, const std::string& attributes,
                                         std::string& xml) const
{
    // The text node and the element name are C strings to TinyXML: both end at a zero byte.
    std::string text = StringUtility::MakeUTF8(value);
    text.resize(std::strlen(text.c_str()));
    xml += '<';
    xml += elementName;
    xml += attributes;
    xml += '>';
    AppendEscaped(text, xml);
    xml += "</";
    xml += elementName;
    xml += '>';
}

void XSPFElement::AppendEscaped(const std::string& text, std::string& xml)
{
    std::string::size_type plain = 0;
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const char* entity;
        switch (c) {
        case '&': entity = "&amp;"; break;
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        case '"': entity = "&quot;"; break;
        case '\'': entity = "&apos;"; break;
        default:
            if (c >= 32) continue;
            entity = nullptr;
        }
        xml.append(text, plain, i - plain);
        plain = i + 1;
        if (entity) {
            xml += entity;
        } else {
            char reference[8];
            std::snprintf(reference, sizeof reference, "&#x%02X;", c);
            xml += reference;
        }
    }
    xml.append(text, plain, std::string::npos);
}

} // namespace Vantor::Data
