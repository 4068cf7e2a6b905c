#include "core/settings/Preferences.h"

#include "core/data/UnicodeConversion.h"
#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>

#include <string>

using Vantor::Settings::Preferences;
using VantorTest::ContentsOf;
using VantorTest::OpenFile;
using VantorTest::TemporaryFileWith;

namespace {

std::string Saved(Preferences& preferences)
{
    OpenFile file(std::tmpfile());
    EXPECT_TRUE(preferences.Save(file.get()));
    return ContentsOf(file.get());
}

// What a fresh object reads back from the document `preferences` saves.
Preferences RoundTrip(Preferences& preferences)
{
    Preferences loaded(TemporaryFileWith(Saved(preferences)).get());
    EXPECT_TRUE(loaded.IsLoaded());
    return loaded;
}

bool IsWellFormedUTF8(const std::string& text)
{
    const Vantor::Data::UTF8* p = reinterpret_cast<const Vantor::Data::UTF8*>(text.data());
    const Vantor::Data::UTF8* end = p + text.size();
    while (p < end) {
        if (!Vantor::Data::isLegalUTF8Sequence(p, end))
            return false;
        p += *p < 0x80 ? 1 : *p < 0xE0 ? 2 : *p < 0xF0 ? 3 : 4;
    }
    return true;
}

std::string Document(const std::string& settings)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<preferences>" + settings + "</preferences>\n";
}

} // namespace

TEST(Preferences, DocumentListsSettingsByTypeThenKey)
{
    Preferences preferences;
    preferences.SetString("b", "second");
    preferences.SetInt("z", -3);
    preferences.SetString("a", "first");
    preferences.SetBool("flag", true);
    preferences.SetFloat("ratio", 0.5);
    preferences.SetInt("B", 12);

    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
              "<preferences>\n"
              "    <setting type=\"0\" key=\"ratio\">0.5</setting>\n"
              "    <setting type=\"1\" key=\"B\">12</setting>\n"
              "    <setting type=\"1\" key=\"flag\">1</setting>\n"
              "    <setting type=\"1\" key=\"z\">-3</setting>\n"
              "    <setting type=\"2\" key=\"a\">first</setting>\n"
              "    <setting type=\"2\" key=\"b\">second</setting>\n"
              "</preferences>\n",
              Saved(preferences));
}

TEST(Preferences, FreshObjectReadsBackEveryTypeAndTextWithMarkupAndLineBreaks)
{
    Preferences preferences;
    EXPECT_FALSE(preferences.IsLoaded());
    preferences.SetInt("int", -2147483647 - 1);
    preferences.SetBool("off", false);
    preferences.SetFloat("float", -1.25);
    preferences.SetString("int", "also a string");
    preferences.SetString("markup", "<a href=\"x\">Tom & 'Jerry'</a>");
    preferences.SetString("lines", "two\nlines\n");
    preferences.SetString("blanks", "  lead  and   inner  ");

    const Preferences loaded = RoundTrip(preferences);
    EXPECT_EQ(-2147483647 - 1, loaded.GetInt("int", 0));
    EXPECT_FALSE(loaded.GetBool("off", true));
    EXPECT_DOUBLE_EQ(-1.25, loaded.GetFloat("float", 0));
    // Each getter looks at its own type only.
    EXPECT_EQ("also a string", loaded.GetString("int", ""));
    EXPECT_EQ("default", loaded.GetString("off", "default"));
    EXPECT_EQ("<a href=\"x\">Tom & 'Jerry'</a>", loaded.GetString("markup", ""));
    // Line breaks are written as character references and so survive the white-space rule.
    EXPECT_EQ("two\nlines\n", loaded.GetString("lines", ""));
    EXPECT_EQ("lead and inner", loaded.GetString("blanks", ""));
}

TEST(Preferences, Latin1BytesNeverMakeTheDocumentUnreadable)
{
    Preferences preferences;
    preferences.SetString("latin1", "\xE9t\xE9");              // not UTF-8 from the start
    preferences.SetString("mixed", "caf\xE9 cr\xC3\xA8me");    // begins in ASCII, then Latin-1
    preferences.SetString("cut", "end\xE2\x82");               // a sequence cut by the end
    preferences.SetString("utf8", "Bj\xC3\xB6rk \xF0\x9F\x8E\xB5");
    preferences.SetString("caf\xE9", "key in Latin-1");
    preferences.SetInt("kept", 5);

    const std::string document = Saved(preferences);
    EXPECT_TRUE(IsWellFormedUTF8(document)) << document;

    const Preferences loaded = RoundTrip(preferences);
    EXPECT_EQ("\xC3\xA9t\xC3\xA9", loaded.GetString("latin1", ""));
    EXPECT_EQ("caf\xC3\xA9 cr\xC3\xA8me", loaded.GetString("mixed", ""));
    EXPECT_EQ("end\xC3\xA2\xC2\x82", loaded.GetString("cut", ""));
    EXPECT_EQ("Bj\xC3\xB6rk \xF0\x9F\x8E\xB5", loaded.GetString("utf8", ""));
    EXPECT_EQ("key in Latin-1", loaded.GetString("caf\xC3\xA9", ""));
    EXPECT_EQ(5, loaded.GetInt("kept", 0));
}

TEST(Preferences, DocumentWrittenInLatin1IsReadByteByByteAndRepairedByTheNextSave)
{
    // Written by hand or by an older program: Latin-1 bytes under a UTF-8 declaration.
    // Read as UTF-8, the lead byte 0xE9 would swallow the "</" after it.
    Preferences preferences(TemporaryFileWith(Document("<setting type=\"2\" key=\"dir\">/M\xFCsik/caf\xE9</setting>"
                                                       "<setting type=\"1\" key=\"after\">1</setting>"))
                                .get());
    ASSERT_TRUE(preferences.IsLoaded());
    EXPECT_EQ("/M\xFCsik/caf\xE9", preferences.GetString("dir", ""));
    EXPECT_EQ(1, preferences.GetInt("after", 0));
    EXPECT_EQ("/M\xC3\xBCsik/caf\xC3\xA9", RoundTrip(preferences).GetString("dir", ""));
}

TEST(Preferences, MalformedOrEmptyFileLeavesWhatIsHeld)
{
    const std::string bad[] = {
        "",
        "not xml at all",
        "<preferences><setting type=\"1\" key=\"k\">3</setting>",
        std::string("\0\0\0\0", 4),
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<preferences><setting type=\"2\" key=\"k\">\xE9",
        "\xEF\xBB\xBF",
    };
    for (const std::string& contents : bad) {
        SCOPED_TRACE(contents);
        Preferences preferences(TemporaryFileWith(Document("<setting type=\"1\" key=\"k\">9</setting>")).get());
        ASSERT_TRUE(preferences.IsLoaded());
        EXPECT_FALSE(preferences.Load(TemporaryFileWith(contents).get()));
        EXPECT_FALSE(preferences.IsLoaded());
        EXPECT_EQ(9, preferences.GetInt("k", 0));
    }
}

TEST(Preferences, IncompleteOrUnknownSettingsAreSkippedAndTheLaterDuplicateWins)
{
    const std::string settings =
        "<setting key=\"noType\">1</setting>"
        "<setting type=\"1\">1</setting>"
        "<setting type=\"1\" key=\"noText\"/>"
        "<setting type=\"7\" key=\"unknown\">1</setting>"
        "<setting type=\"-1\" key=\"negative\">1</setting>"
        "<other type=\"1\" key=\"notASetting\">1</other>"
        "<setting type=\"1\" key=\"good\">4</setting>"
        "<setting type=\"1\" key=\"good\">5</setting>";
    Preferences preferences(TemporaryFileWith(Document(settings)).get());
    ASSERT_TRUE(preferences.IsLoaded());
    EXPECT_EQ(5, preferences.GetInt("good", 0));
    for (const char* key : {"noType", "noText", "unknown", "negative", "notASetting", ""}) {
        EXPECT_EQ(-1, preferences.GetInt(key, -1)) << key;
        EXPECT_EQ("-", preferences.GetString(key, "-")) << key;
        EXPECT_DOUBLE_EQ(-1, preferences.GetFloat(key, -1)) << key;
    }
}
