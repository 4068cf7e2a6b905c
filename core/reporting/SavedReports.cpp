#include "core/reporting/SavedReports.h"

#include "core/data/StringUtility.h"

#include <tinyxml.h>

namespace Vantor::Reporting {

using Vantor::Data::StringUtility;

namespace {

std::string TextOf(const char* text)
{
    return text ? text : "";
}

} // namespace

const char* const SavedReports::ElementName = "pendingReports";

void SavedReports::AppendXml(const std::vector<Report>& reports, std::string& xml)
{
    if (reports.empty())
        return;
    // The saved queue is UTF-8 throughout; a product identifier from a Latin-1 queue file is not.
    TiXmlElement list(ElementName);
    for (const Report& report : reports) {
        TiXmlElement* element = new TiXmlElement("report");
        element->SetAttribute("tag", StringUtility::MakeUTF8(report.tagText));
        element->SetAttribute("pcid", StringUtility::MakeUTF8(report.pcid));
        element->SetAttribute("id", report.id);
        for (const auto& parameter : report.parameters) {
            TiXmlElement* child = new TiXmlElement("parameter");
            child->SetAttribute("name", StringUtility::MakeUTF8(parameter.first));
            child->LinkEndChild(new TiXmlText(StringUtility::MakeUTF8(parameter.second)));
            element->LinkEndChild(child);
        }
        list.LinkEndChild(element);
    }
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    list.Accept(&printer);
    xml += printer.Str();
}

std::vector<Report> SavedReports::Read(const TiXmlElement* element)
{
    std::vector<Report> reports;
    for (const TiXmlElement* saved = element ? element->FirstChildElement("report") : nullptr; saved;
         saved = saved->NextSiblingElement("report")) {
        Report report{TextOf(saved->Attribute("tag")), TextOf(saved->Attribute("pcid")), {}, TextOf(saved->Attribute("id"))};
        for (const TiXmlElement* parameter = saved->FirstChildElement("parameter"); parameter;
             parameter = parameter->NextSiblingElement("parameter"))
            report.parameters[TextOf(parameter->Attribute("name"))] = TextOf(parameter->GetText());
        if (!report.tagText.empty())
            reports.push_back(report);
    }
    return reports;
}

} // namespace Vantor::Reporting
