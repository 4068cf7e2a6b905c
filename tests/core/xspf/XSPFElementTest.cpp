#include "core/data/XSPFElement.h"
#include "core/data/XSPFMetaElement.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <sstream>

using Vantor::Data::XSPFElement;
using Vantor::Data::XSPFMetaElement;

namespace {

// The stream form of the element: no indentation, no line breaks.
std::string Printed(const TiXmlElement& element)
{
    std::ostringstream out;
    out << element;
    return out.str();
}

std::string SavedInto(XSPFElement& element)
{
    TiXmlElement track("track");
    element.Save(&track);
    return Printed(track);
}

} // namespace

TEST(XSPFElementTest, PlainElementWritesNameAndValue)
{
    XSPFElement element("title", "Intro");
    EXPECT_EQ("<track><title>Intro</title></track>", SavedInto(element));
}

TEST(XSPFElementTest, EmptyValueKeepsOpeningAndClosingTag)
{
    XSPFElement plain("album", "");
    EXPECT_EQ("<track><album></album></track>", SavedInto(plain));
    XSPFMetaElement meta("http://h/ns", "PCID", "");
    EXPECT_EQ("<track><meta rel=\"http://h/ns/PCID\"></meta></track>", SavedInto(meta));
}

TEST(XSPFElementTest, EachSaveAddsAnotherChild)
{
    XSPFElement element("creator", "A");
    TiXmlElement track("track");
    element.Save(&track);
    element.Save(&track);
    EXPECT_EQ("<track><creator>A</creator><creator>A</creator></track>", Printed(track));
}

TEST(XSPFElementTest, MetaBaseGetsExactlyOneFinalSlash)
{
    EXPECT_EQ("a/b/", XSPFMetaElement("a/b", "k", "v").GetBase());
    EXPECT_EQ("a/b/", XSPFMetaElement("a/b/", "k", "v").GetBase());
    EXPECT_EQ("/", XSPFMetaElement("", "k", "v").GetBase());

    XSPFMetaElement meta("a/b", "k", "v");
    EXPECT_EQ("<track><meta rel=\"a/b/k\">v</meta></track>", SavedInto(meta));
    EXPECT_EQ("k", meta.GetName());
    EXPECT_EQ("v", meta.GetValue());
}

TEST(XSPFElementTest, Latin1ValueIsWrittenAsUTF8AndKeptAsItCame)
{
    // "Égalité" in Latin-1: the first byte is above 127 and not a UTF-8 sequence.
    const std::string latin1 = "\xC9gal\xE9t\xE9";
    XSPFElement plain("title", latin1);
    EXPECT_EQ(latin1, plain.GetValue());
    EXPECT_EQ("<track><title>\xC3\x89gal\xC3\xA9t\xC3\xA9</title></track>", SavedInto(plain));

    XSPFMetaElement meta("ns", "title", latin1);
    EXPECT_EQ("<track><meta rel=\"ns/title\">\xC3\x89gal\xC3\xA9t\xC3\xA9</meta></track>", SavedInto(meta));
}

TEST(XSPFElementTest, UTF8AndAsciiLedValuesAreWrittenUnchanged)
{
    XSPFElement utf8("title", "\xC3\x89t\xC3\xA9");
    EXPECT_EQ("<track><title>\xC3\x89t\xC3\xA9</title></track>", SavedInto(utf8));
    // Only the first character decides: an ASCII start leaves later Latin-1 bytes alone.
    XSPFElement asciiFirst("title", "Caf\xE9");
    EXPECT_EQ("<track><title>Caf\xE9</title></track>", SavedInto(asciiFirst));
}

TEST(XSPFElementTest, MarkupCharactersAreEscapedAndReadBack)
{
    const std::string value = "Tom & Jerry <live> \"quoted\" 'single'";
    XSPFMetaElement meta("http://h/a&b", "k<1>", value);
    TiXmlElement track("track");
    meta.Save(&track);

    // Parse the printed form again: the value and rel come back as they were.
    TiXmlDocument document;
    document.Parse(Printed(track).c_str());
    ASSERT_FALSE(document.Error()) << document.ErrorDesc();
    const TiXmlElement* read = document.RootElement()->FirstChildElement("meta");
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(value, read->GetText());
    EXPECT_EQ("http://h/a&b/k<1>", *read->Attribute(std::string("rel")));
    EXPECT_EQ(std::string::npos, Printed(track).find("& J"));
}

TEST(XSPFElementTest, ValueIsCutAtItsFirstZeroByte)
{
    XSPFElement element("title", std::string("ab\0cd", 5));
    EXPECT_EQ("<track><title>ab</title></track>", SavedInto(element));
}
