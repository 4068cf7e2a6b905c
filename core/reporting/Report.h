#ifndef CORE_REPORTING_REPORT_H
#define CORE_REPORTING_REPORT_H

#include <map>
#include <string>

namespace Vantor::Reporting {

// What one report tells the store: its tag, the product identifier and the parameters. Kept
// over a restart without its address, which is made again from the report base of then. Its
// id, made when it is, tells it from any other over restarts too.
struct Report {
    std::string tagText;
    std::string pcid;
    std::map<std::string, std::string> parameters;
    std::string id;
};

} // namespace Vantor::Reporting

#endif
