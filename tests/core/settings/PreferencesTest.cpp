#include "core/settings/Preferences.h"

#include "core/data/UnicodeConversion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

using Vantor::Settings::Preferences;

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
typedef std::unique_ptr<FILE, FileCloser> File;

// An anonymous temporary file holding `contents`, positioned at its start.
File FileWith(const std::string& contents)
{
    File file(std::tmpfile());
    std::fwrite(contents.data(), 1, contents.size(), file.get());
    std::rewind(file.get());
    return file;
}

std::string Contents(FILE* file)
{
    std::rewind(file);
    std::string text;
    char buffer[1024];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file)) > 0;)
        text.append(buffer, n);
    return text;
}

std::string Saved(Preferences& preferences)
{
    File file(std::tmpfile());
    EXPECT_TRUE(preferences.Save(file.get()));
    return Contents(file.get());
}

// What a fresh object reads back from the document `preferences` saves.
Preferences RoundTrip(Preferences& preferences)
{
    File file = FileWith(Saved(preferences));
    Preferences loaded(file.get());
    EXPECT_TRUE(loaded.IsLoaded());
    return loaded;
}

bool IsWellFormedUTF8(const std::string& text)
{
    const Vantor::Data::UTF8* begin = reinterpret_cast<const Vantor::Data::UTF8*>(text.data());
    const Vantor::Data::UTF8* end = begin + text.size();
    for (const Vantor::Data::UTF8* p = begin; p < end;) {
        const int length = *p < 0x80 ? 1 : *p < 0xE0 ? 2 : *p < 0xF0 ? 3 : 4;
        if (!Vantor::Data::isLegalUTF8Sequence(p, end))
            return false;
        p += length;
    }
    return true;
}

std::string Setting(const std::string& type, const std::string& key, const std::string& value)
{
    return "<setting type=\"" + type + "\" key=\"" + key + "\">" + value + "</setting>";
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

TEST(Preferences, FreshObjectReadsBackWhatWasSaved)
{
    Preferences preferences;
    EXPECT_FALSE(preferences.IsLoaded());
    preferences.SetInt("int", -2147483647 - 1);
    preferences.SetBool("on", true);
    preferences.SetBool("off", false);
    preferences.SetFloat("float", -1.25);
    preferences.SetString("path", "/home/u/Music/AC_DC");
    preferences.SetString("int", "also a string");

    const Preferences loaded = RoundTrip(preferences);
    EXPECT_EQ(-2147483647 - 1, loaded.GetInt("int", 0));
    EXPECT_TRUE(loaded.GetBool("on", false));
    EXPECT_FALSE(loaded.GetBool("off", true));
    EXPECT_DOUBLE_EQ(-1.25, loaded.GetFloat("float", 0));
    EXPECT_EQ("/home/u/Music/AC_DC", loaded.GetString("path", ""));
    EXPECT_EQ("also a string", loaded.GetString("int", ""));
}

TEST(Preferences, EachGetterLooksOnlyAtItsOwnType)
{
    Preferences preferences;
    preferences.SetInt("number", 7);
    EXPECT_TRUE(preferences.GetBool("number", false));
    EXPECT_EQ("default", preferences.GetString("number", "default"));
    EXPECT_DOUBLE_EQ(2.5, preferences.GetFloat("number", 2.5));
    EXPECT_TRUE(preferences.GetBool("absent", true));
    EXPECT_FALSE(preferences.GetBool("absent", false));
    EXPECT_EQ(42, preferences.GetInt("absent", 42));

    preferences.SetInt("number", 0);
    EXPECT_FALSE(preferences.GetBool("number", true));
}

TEST(Preferences, TextValuesKeepMarkupAndLineBreaksButLoseOuterBlanks)
{
    Preferences preferences;
    preferences.SetString("markup", "<a href=\"x\">Tom & 'Jerry'</a>");
    preferences.SetString("lines", "two\nlines");
    preferences.SetString("trailing", "line\n");
    preferences.SetString("blanks", "  lead  and   inner  ");
    preferences.SetString("empty", "");

    const Preferences loaded = RoundTrip(preferences);
    EXPECT_EQ("<a href=\"x\">Tom & 'Jerry'</a>", loaded.GetString("markup", ""));
    // Line breaks are written as character references and so survive the white-space rule.
    EXPECT_EQ("two\nlines", loaded.GetString("lines", ""));
    EXPECT_EQ("line\n", loaded.GetString("trailing", ""));
    EXPECT_EQ("lead and inner", loaded.GetString("blanks", ""));
    // An empty value is written without text and therefore not read back.
    EXPECT_EQ("default", loaded.GetString("empty", "default"));
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

TEST(Preferences, MalformedOrEmptyFileLeavesWhatIsHeld)
{
    const std::string bad[] = {
        "",
        "not xml at all",
        "<preferences><setting type=\"1\" key=\"k\">3</setting>",
        Document(Setting("2", "k", "v")).substr(0, 60),
        std::string("\0\0\0\0", 4),
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<preferences><setting type=\"2\" key=\"k\">\xE9",
        "<preferences><setting type=\"2\" key=\"\xF0",
        "\xEF\xBB\xBF",
    };
    for (const std::string& contents : bad) {
        SCOPED_TRACE(contents);
        Preferences preferences;
        preferences.SetInt("k", 9);
        File file = FileWith(contents);
        EXPECT_FALSE(preferences.Load(file.get()));
        EXPECT_FALSE(preferences.IsLoaded());
        EXPECT_EQ(9, preferences.GetInt("k", 0));
        EXPECT_EQ("none", preferences.GetString("k", "none"));
    }
}

TEST(Preferences, FailedLoadClearsTheLoadedFlag)
{
    File good = FileWith(Document(Setting("1", "k", "1")));
    Preferences preferences(good.get());
    ASSERT_TRUE(preferences.IsLoaded());
    File bad = FileWith("garbage");
    EXPECT_FALSE(preferences.Load(bad.get()));
    EXPECT_FALSE(preferences.IsLoaded());
    EXPECT_EQ(1, preferences.GetInt("k", 0));
}

TEST(Preferences, DocumentWithoutPreferencesRootCountsAsLoaded)
{
    Preferences preferences;
    preferences.SetString("s", "kept");
    File file = FileWith("<settings>" + Setting("2", "s", "other") + "</settings>");
    EXPECT_TRUE(preferences.Load(file.get()));
    EXPECT_EQ("kept", preferences.GetString("s", ""));
}

TEST(Preferences, IncompleteOrUnknownSettingsAreSkipped)
{
    const std::string settings =
        "<setting key=\"noType\">1</setting>"
        "<setting type=\"1\">1</setting>"
        "<setting type=\"1\" key=\"noText\"></setting>"
        "<setting type=\"1\" key=\"noText2\"/>"
        "<setting type=\"7\" key=\"unknown\">1</setting>"
        "<setting type=\"-1\" key=\"negative\">1</setting>"
        "<other type=\"1\" key=\"notASetting\">1</other>"
        "<setting type=\"1\" key=\"good\">4</setting>";
    File file = FileWith(Document(settings));
    Preferences preferences(file.get());
    ASSERT_TRUE(preferences.IsLoaded());
    EXPECT_EQ(4, preferences.GetInt("good", 0));
    for (const char* key : {"noType", "noText", "noText2", "unknown", "negative", "notASetting"}) {
        EXPECT_EQ(-1, preferences.GetInt(key, -1)) << key;
        EXPECT_EQ("-", preferences.GetString(key, "-")) << key;
        EXPECT_DOUBLE_EQ(-1, preferences.GetFloat(key, -1)) << key;
    }
    EXPECT_EQ(-1, preferences.GetInt("", -1));
}

TEST(Preferences, NumbersAreReadLeniently)
{
    const std::string settings = Setting("1", "word", "abc") + Setting("1", "prefix", "12abc") +
                                 Setting("1", "negative", "-8") + Setting("0", "float", "2.5e1") +
                                 Setting("0", "badFloat", "x") + Setting("1abc", "typePrefix", "3") +
                                 Setting("x", "typeWord", "1.5") + Setting("2", "number", "007");
    File file = FileWith(Document(settings));
    Preferences preferences(file.get());
    EXPECT_EQ(0, preferences.GetInt("word", -1));
    EXPECT_EQ(12, preferences.GetInt("prefix", -1));
    EXPECT_EQ(-8, preferences.GetInt("negative", 0));
    EXPECT_DOUBLE_EQ(25, preferences.GetFloat("float", 0));
    EXPECT_DOUBLE_EQ(0, preferences.GetFloat("badFloat", -1));
    EXPECT_EQ(3, preferences.GetInt("typePrefix", -1));
    // A type that is not a number reads as 0, the floating-point type.
    EXPECT_DOUBLE_EQ(1.5, preferences.GetFloat("typeWord", -1));
    EXPECT_EQ("007", preferences.GetString("number", ""));
}

TEST(Preferences, LoadMergesAndTheLaterDuplicateWins)
{
    Preferences preferences;
    preferences.SetInt("untouched", 1);
    preferences.SetInt("replaced", 1);
    File file = FileWith(Document(Setting("1", "replaced", "2") + Setting("1", "dup", "3") + Setting("1", "dup", "4")));
    ASSERT_TRUE(preferences.Load(file.get()));
    EXPECT_EQ(1, preferences.GetInt("untouched", 0));
    EXPECT_EQ(2, preferences.GetInt("replaced", 0));
    EXPECT_EQ(4, preferences.GetInt("dup", 0));
}

TEST(Preferences, DocumentWrittenInLatin1IsReadByteByByte)
{
    // Written by hand or by an older program: Latin-1 bytes under a UTF-8 declaration.
    // Read as UTF-8, the lead byte 0xE9 would swallow the "</" after it.
    File file = FileWith(Document(Setting("2", "dir", "/home/u/M\xFCsik/caf\xE9") + Setting("1", "after", "1")));
    Preferences preferences(file.get());
    ASSERT_TRUE(preferences.IsLoaded());
    EXPECT_EQ("/home/u/M\xFCsik/caf\xE9", preferences.GetString("dir", ""));
    EXPECT_EQ(1, preferences.GetInt("after", 0));

    // The next save repairs it.
    const Preferences loaded = RoundTrip(preferences);
    EXPECT_EQ("/home/u/M\xC3\xBCsik/caf\xC3\xA9", loaded.GetString("dir", ""));
}

TEST(Preferences, SaveReportsAFileThatCannotBeWritten)
{
    File readOnly(std::fopen("/dev/null", "rb"));
    ASSERT_TRUE(readOnly);
    Preferences preferences;
    preferences.SetInt("k", 1);
    EXPECT_FALSE(preferences.Save(readOnly.get()));
}
