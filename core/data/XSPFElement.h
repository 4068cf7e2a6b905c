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

protected:
    // A new element called `elementName` holding the value as its only text node.
    TiXmlElement* NewElementWithValue(const std::string& elementName) const;

private:
    const std::string name;
    const std::string value;
};

} // namespace Vantor::Data

#endif
