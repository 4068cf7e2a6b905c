#include "core/data/XSPFElement.h"
#include "core/data/XSPFMetaElement.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <memory>
#include <sstream>

using Vantor::Data::XSPFElement;
using Vantor::Data::XSPFMetaElement;

namespace {

// The stream form of an element: no indentation, no line breaks.
std::string Printed(const TiXmlElement& element)
{
    std::ostringstream out;
    out << element;
    return out.str();
}

} // namespace

TEST(XSPFElementTest, SavesAsAChildOfTheTrack)
{
    const std::string latin1 = "\xC9gal\xE9t\xE9"; // "Égalité" in Latin-1
    const std::string utf8 = "\xC3\x89gal\xC3\xA9t\xC3\xA9";
    const std::vector<std::pair<std::shared_ptr<XSPFElement>, std::string>> cases = {
        {std::make_shared<XSPFElement>("title", "Intro"), "<title>Intro</title>"},
        {std::make_shared<XSPFElement>("album", ""), "<album></album>"},
        {std::make_shared<XSPFMetaElement>("http://h/ns", "PCID", ""), "<meta rel=\"http://h/ns/PCID\"></meta>"},
        {std::make_shared<XSPFMetaElement>("a/b/", "k", "v"), "<meta rel=\"a/b/k\">v</meta>"},
        // A Latin-1 value is written as UTF-8; UTF-8 stays as it is.
        {std::make_shared<XSPFElement>("title", latin1), "<title>" + utf8 + "</title>"},
        {std::make_shared<XSPFMetaElement>("ns", "title", latin1), "<meta rel=\"ns/title\">" + utf8 + "</meta>"},
        {std::make_shared<XSPFElement>("title", utf8), "<title>" + utf8 + "</title>"},
        // Only the first character decides: an ASCII start leaves later Latin-1 bytes alone.
        {std::make_shared<XSPFElement>("title", "Caf\xE9"), "<title>Caf\xE9</title>"},
        {std::make_shared<XSPFElement>("title", std::string("ab\0cd", 5)), "<title>ab</title>"},
    };
    for (const auto& c : cases) {
        TiXmlElement track("track");
        c.first->Save(&track);
        EXPECT_EQ("<track>" + c.second + "</track>", Printed(track));
    }
    EXPECT_EQ(latin1, cases[4].first->GetValue());
    EXPECT_EQ("a/b/", XSPFMetaElement("a/b", "k", "v").GetBase());
    EXPECT_EQ("/", XSPFMetaElement("", "k", "v").GetBase());
}

TEST(XSPFElementTest, MarkupCharactersAreEscapedAndReadBack)
{
    const std::string value = "Tom & Jerry <live> \"quoted\" 'single'";
    TiXmlElement track("track");
    XSPFMetaElement("http://h/a&b", "k<1>", value).Save(&track);

    TiXmlDocument document;
    document.Parse(Printed(track).c_str());
    ASSERT_FALSE(document.Error()) << document.ErrorDesc();
    const TiXmlElement* read = document.RootElement()->FirstChildElement("meta");
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(value, read->GetText());
    EXPECT_EQ("http://h/a&b/k<1>", *read->Attribute(std::string("rel")));
}
