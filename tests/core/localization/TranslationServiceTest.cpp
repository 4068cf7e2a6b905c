#include "core/localization/TranslationService.h"

#include "tests/support/LogSubscriber.h"
#include "tests/support/TempDirectory.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

using Vantor::Localization::TranslationService;
using VantorTest::Journal;
using VantorTest::LogSubscriber;
using VantorTest::TempDirectory;
using VantorTest::WriteFile;

namespace {

typedef TranslationService::Locale Locale;
typedef std::vector<std::string> Entries;

// A translation document named `name` holding the given "string" elements.
std::string Translation(const std::string& name, const std::string& strings)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<translation>\n  <name>" + name +
           "</name>\n  <strings>\n" + strings + "  </strings>\n</translation>\n";
}

std::string Entry(const std::string& base, const std::string& translated)
{
    return "    <string base=\"" + base + "\" translated=\"" + translated + "\"/>\n";
}

} // namespace

TEST(TranslationLocale, ReadsNameAndEntriesUpToTheFirstIncompleteOne)
{
    TempDirectory dir;
    WriteFile(dir.File("de.xml"),
              Translation("de_DE", Entry("sonvel_dl_waiting", "Wartet") +
                                       "    <comment>other elements are passed over</comment>\n" +
                                       Entry("sonvel_umlaut", "Gr\xC3\xB6\xC3\x9F" "e") +
                                       Entry("sonvel_dup", "first") + Entry("sonvel_dup", "second") +
                                       // Left to right: "\\n" after a backslash is still a pair.
                                       Entry("sonvel_lines", "one\\ntwo\\t\\\\nthree") +
                                       Entry("sonvel_empty", "") + Entry("", "orphan") +
                                       "    <string base=\"sonvel_half\"/>\n" + Entry("sonvel_after", "After")));

    const boost::shared_ptr<Locale> locale = Locale::Load(dir.File("de.xml"));
    ASSERT_TRUE(locale);
    EXPECT_EQ("de_DE", locale->Name());
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"sonvel_dl_waiting", "Wartet"},
        {"sonvel_umlaut", "Gr\xC3\xB6\xC3\x9F" "e"},
        {"sonvel_dup", "second"},
        {"sonvel_lines", "one\ntwo\\t\\\nthree"},
        {"SONVEL_DL_WAITING", "-"},
        {"sonvel_empty", "-"},
        {"", "-"},
        {"sonvel_half", "-"},
        {"sonvel_after", "-"},
    };
    for (const auto& entry : expected)
        EXPECT_EQ(entry.second, locale->Translate(entry.first, "-")) << entry.first;
}

TEST(TranslationLocale, RejectsAndLogsFilesThatAreNoUsableTranslation)
{
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty", ""},
        {"plain text", "This is not XML at all.\n"},
        {"binary", std::string("\0\x01\xFF\xFE<\0>\x80", 8)},
        {"cut short", Translation("xx_XX", Entry("sonvel_a", "A")).substr(0, 90)},
        {"other root", "<settings><name>xx_XX</name><strings>" + Entry("sonvel_a", "A") + "</strings></settings>"},
        {"no name", "<translation><strings>" + Entry("sonvel_a", "A") + "</strings></translation>"},
        {"empty name", Translation("", Entry("sonvel_a", "A"))},
        {"no strings", "<translation><name>xx_XX</name></translation>"},
        {"no entries", Translation("xx_XX", "    <other base=\"sonvel_a\" translated=\"A\"/>\n")},
        {"first entry incomplete", Translation("xx_XX", "<string translated=\"A\"/>" + Entry("sonvel_b", "B"))},
    };
    TempDirectory dir;
    for (const auto& file : files) {
        SCOPED_TRACE(file.first);
        const std::string path = dir.File(file.first + ".xml");
        WriteFile(path, file.second);
        Journal log;
        LogSubscriber subscriber(log);
        EXPECT_FALSE(Locale::Load(path));
        EXPECT_EQ(Entries{"Unable to parse translation: " + path}, log.Entries());
    }
    EXPECT_FALSE(Locale::Load(dir.File("missing.xml")));
    EXPECT_FALSE(Locale::Load(dir.Path()));
}

TEST(TranslationService, TranslatesFromTheCurrentLocaleOnly)
{
    TempDirectory dir;
    WriteFile(dir.File("a-de.xml"), Translation("cur_DE", Entry("sonvel_dl_waiting", "Wartet") +
                                                              Entry("sonvel_line", "a\\nb")));
    WriteFile(dir.File("b-fr.xml"), Translation("cur_FR", Entry("sonvel_dl_waiting", "En attente") +
                                                              Entry("sonvel_only_fr", "Seulement")));
    WriteFile(dir.File("c-broken.xml"), "<translation><name>cur_XX");
    // Only regular files (or links to them) whose names end in ".xml", in any case, are read.
    WriteFile(dir.File("d-it.XML"), Translation("cur_IT", Entry("sonvel_dl_waiting", "In attesa")));
    WriteFile(dir.File("e-es.xml.bak"), Translation("cur_ES", Entry("sonvel_dl_waiting", "Esperando")));
    boost::filesystem::create_directory(dir.File("f-folder.xml"));
    ASSERT_EQ(0, symlink(dir.File("nowhere").c_str(), dir.File("g-dangling.xml").c_str()));

    {
        Journal log;
        LogSubscriber subscriber(log);
        TranslationService::Initialize(dir.Path(), "cur_DE");
        EXPECT_EQ(Entries{"Unable to parse translation: " + dir.File("c-broken.xml")}, log.Entries());
    }
    TranslationService* service = TranslationService::Instance();
    EXPECT_EQ("cur_DE", service->GetLocale());
    EXPECT_EQ("Wartet", service->Translate("sonvel_dl_waiting", "Waiting"));
    EXPECT_EQ("a\nb", service->Translate("sonvel_line", "Line"));
    // Missing from the current locale: the default, never another locale's text.
    EXPECT_EQ("Only", service->Translate("sonvel_only_fr", "Only"));

    TranslationService::Initialize(dir.Path(), "cur_FR");
    EXPECT_EQ(service, TranslationService::Instance());
    EXPECT_EQ("Seulement", service->Translate("sonvel_only_fr", "Only"));

    TranslationService::Initialize(dir.Path(), "cur_IT");
    EXPECT_EQ("In attesa", service->Translate("sonvel_dl_waiting", "Waiting"));
    TranslationService::Initialize(dir.Path(), "cur_ES");
    EXPECT_EQ("Waiting", service->Translate("sonvel_dl_waiting", "Waiting"));
    // Locales are kept: a missing directory only changes the current locale.
    TranslationService::Initialize(dir.File("missing"), "cur_DE");
    EXPECT_EQ("Wartet", service->Translate("sonvel_dl_waiting", "Waiting"));
}
