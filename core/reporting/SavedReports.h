#ifndef CORE_REPORTING_SAVEDREPORTS_H
#define CORE_REPORTING_SAVEDREPORTS_H

#include "core/reporting/Report.h"

#include <string>
#include <vector>

class TiXmlElement;

namespace Vantor::Reporting {

// The reports the store has not answered, as the saved download queue keeps them: one
// element <pendingReports> holding a <report tag="..." pcid="..." id="..."> for each, with a
// <parameter name="...">value</parameter> for each of its parameters. No address: that is
// made as the report is sent.
class SavedReports {
public:
    static const char* const ElementName;

    // Appends the element, as TinyXML's stream printer writes it, to `xml`; nothing for none.
    static void AppendXml(const std::vector<Report>& reports, std::string& xml);
    // The reports of such an element (none for null); one without a tag is left out.
    static std::vector<Report> Read(const TiXmlElement* element);
};

} // namespace Vantor::Reporting

#endif
