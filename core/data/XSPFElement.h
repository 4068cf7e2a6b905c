#ifndef CORE_DATA_XSPFELEMENT_H
#define CORE_DATA_XSPFELEMENT_H

#include <string>

class TiXmlElement;

namespace Vantor::Data {

// One metadata value of a playlist track that writes itself back as a plain child element
// of the track: <name>value</name>. The value is kept as it came; it is made UTF-8 only
// when written.
class XSPFElement {
public:
    XSPFElement(const std::string& name, const std::string& value);
    virtual ~XSPFElement();

    const std::string& GetName() const { return name; }
    const std::string& GetValue() const { return value; }

    // Appends a new child element to `parent`; each call adds another one.
    virtual void Save(TiXmlElement* parent);
    // Appends the element Save adds to `xml` as TinyXML's stream printer writes it. A queue
    // of thousands of tracks is saved this way: building and printing a tree of it takes
    // several times as long.
    virtual void AppendXml(std::string& xml) const;

protected:
    // A new element called `elementName` holding the value as its only text node.
    TiXmlElement* NewElementWithValue(const std::string& elementName) const;
    // Appends <elementName attributes>value</elementName>, value made UTF-8 and escaped;
    // `attributes` is written as it is.
    void AppendElementWithValue(const char* elementName, const std::string& attributes, std::string& xml) const;
    // Appends `text` escaped as TinyXML escapes text and attribute values: & < > " ' as
    // entities, bytes below 32 as "&#xNN;", all other bytes (UTF-8 too) as they are.
    static void AppendEscaped(const std::string& text, std::string& xml);

private:
    const std::string name;
    const std::string value;
};

} // namespace Vantor::Data

#endif
