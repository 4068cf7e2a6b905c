#include "core/data/XSPFMetaElement.h"

#include <tinyxml.h>

namespace Vantor::Data {

namespace {

std::string WithFinalSlash(const std::string& text)
{
    if (!text.empty() && text[text.size() - 1] == '/') return text;
    return text + "/";
}

} // namespace

XSPFMetaElement::XSPFMetaElement(const std::string& base, const std::string& name, const std::string& value)
    : XSPFElement(name, value), base(WithFinalSlash(base))
{
}

void XSPFMetaElement::Save(TiXmlElement* parent)
{
    TiXmlElement* meta = NewElementWithValue("meta");
    meta->SetAttribute("rel", base + GetName());
    parent->LinkEndChild(meta);
}

void XSPFMetaElement::AppendXml(std::string& xml) const
{
    // TinyXML quotes a value that holds a double quote with single quotes.
    const std::string rel = base + GetName();
    const char quote = rel.find('"') == std::string::npos ? '"' : '\'';
    std::string attribute = " rel=";
    attribute += quote;
    AppendEscaped(rel, attribute);
    attribute += quote;
    AppendElementWithValue("meta", attribute, xml);
}

} // namespace Vantor::Data
