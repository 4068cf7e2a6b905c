#ifndef CORE_DATA_XSPFMETAELEMENT_H
#define CORE_DATA_XSPFMETAELEMENT_H

#include "core/data/XSPFElement.h"

namespace Vantor::Data {

// A metadata value written back as <meta rel="base/name">value</meta>: the key lives in a
// namespace, and the rel URI names both.
class XSPFMetaElement : public XSPFElement {
public:
    // `base` gets a final "/" when it lacks one.
    XSPFMetaElement(const std::string& base, const std::string& name, const std::string& value);

    const std::string& GetBase() const { return base; }

    void Save(TiXmlElement* parent) override;
    void AppendXml(std::string& xml) const override;

private:
    const std::string base;
};

} // namespace Vantor::Data

#endif
