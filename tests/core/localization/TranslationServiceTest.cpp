#include "core/diagnostic/Debug.h"
#include "core/localization/TranslationService.h"
#include "tests/support/TempDirectory.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

using Vantor::Localization::TranslationService;
using VantorTest::TempDirectory;
using VantorTest::WriteFile;

namespace {

typedef TranslationService::Locale Locale;

// Keeps every line logged while it exists.
class LogRecorder : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    LogRecorder() { Vantor::Diagnostic::Debug::StringLoggedSignal().connect(this, &LogRecorder::OnLine); }
    ~LogRecorder() override { disconnect_all(); }

    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }

private:
    void OnLine(std::string line)
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    }

    std::mutex mutex;
    std::vector<std::string> lines;
};

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

TEST(TranslationLocale, ReadsNameAndEntries)
{
    TempDirectory dir;
    WriteFile(dir.File("de.xml"),
              Translation("de_DE", Entry("sonvel_dl_waiting", "Wartet") +
                                       "    <comment>other elements are passed over</comment>\n" +
                                       Entry("sonvel_umlaut", "Gr\xC3\xB6\xC3\x9F" "e") +
                                       Entry("sonvel_dup", "first") + Entry("sonvel_dup", "second")));

    const boost::shared_ptr<Locale> locale = Locale::Load(dir.File("de.xml"));
    ASSERT_TRUE(locale);
    EXPECT_TRUE(locale->IsValid());
    EXPECT_EQ("de_DE", locale->Name());
    EXPECT_EQ("Wartet", locale->Translate("sonvel_dl_waiting", "Waiting"));
    EXPECT_EQ("Gr\xC3\xB6\xC3\x9F" "e", locale->Translate("sonvel_umlaut", "Size"));
    EXPECT_EQ("second", locale->Translate("sonvel_dup", "Dup"));
    EXPECT_EQ("Unknown", locale->Translate("sonvel_not_there", "Unknown"));
    // Keys are matched exactly.
    EXPECT_EQ("Waiting", locale->Translate("SONVEL_DL_WAITING", "Waiting"));
}

TEST(TranslationLocale, TurnsBackslashNIntoLineFeedsOnly)
{
    TempDirectory dir;
    WriteFile(dir.File("t.xml"), Translation("xx_XX", Entry("sonvel_two_lines", "one\\ntwo\\t\\\\nthree") +
                                                          Entry("sonvel_key\\n", "end\\n")));

    const boost::shared_ptr<Locale> locale = Locale::Load(dir.File("t.xml"));
    ASSERT_TRUE(locale);
    // Left to right: "\\n" after a backslash is still a pair, "\t" is left alone.
    EXPECT_EQ("one\ntwo\\t\\\nthree", locale->Translate("sonvel_two_lines", ""));
    // The key is kept as written.
    EXPECT_EQ("end\n", locale->Translate("sonvel_key\\n", ""));
}

TEST(TranslationLocale, SkipsEntriesWithAnEmptyAttribute)
{
    TempDirectory dir;
    WriteFile(dir.File("t.xml"), Translation("xx_XX", Entry("sonvel_empty", "") + Entry("", "orphan") +
                                                          Entry("sonvel_kept", "Kept")));

    const boost::shared_ptr<Locale> locale = Locale::Load(dir.File("t.xml"));
    ASSERT_TRUE(locale);
    EXPECT_EQ("Default", locale->Translate("sonvel_empty", "Default"));
    EXPECT_EQ("Default", locale->Translate("", "Default"));
    EXPECT_EQ("Kept", locale->Translate("sonvel_kept", "Default"));
}

TEST(TranslationLocale, StopsAtAnEntryWithoutBothAttributes)
{
    TempDirectory dir;
    WriteFile(dir.File("t.xml"), Translation("xx_XX", Entry("sonvel_before", "Before") +
                                                          "    <string base=\"sonvel_half\"/>\n" +
                                                          Entry("sonvel_after", "After")));

    const boost::shared_ptr<Locale> locale = Locale::Load(dir.File("t.xml"));
    ASSERT_TRUE(locale);
    EXPECT_EQ("Before", locale->Translate("sonvel_before", "x"));
    EXPECT_EQ("x", locale->Translate("sonvel_half", "x"));
    EXPECT_EQ("x", locale->Translate("sonvel_after", "x"));
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
        {"only empty entries", Translation("xx_XX", Entry("sonvel_a", ""))},
        {"first entry incomplete", Translation("xx_XX", "<string translated=\"A\"/>" + Entry("sonvel_b", "B"))},
    };
    TempDirectory dir;
    for (const auto& file : files) {
        SCOPED_TRACE(file.first);
        const std::string path = dir.File(file.first + ".xml");
        WriteFile(path, file.second);
        LogRecorder log;
        EXPECT_FALSE(Locale::Load(path));
        EXPECT_EQ(std::vector<std::string>{"Unable to parse translation: " + path}, log.Lines());
    }

    LogRecorder log;
    EXPECT_FALSE(Locale::Load(dir.File("missing.xml")));
    EXPECT_FALSE(Locale::Load(dir.Path()));
    EXPECT_EQ(2u, log.Lines().size());
}

TEST(TranslationService, TranslatesFromTheCurrentLocaleOnly)
{
    TempDirectory dir;
    WriteFile(dir.File("a-de.xml"), Translation("cur_DE", Entry("sonvel_dl_waiting", "Wartet") +
                                                              Entry("sonvel_line", "a\\nb")));
    WriteFile(dir.File("b-fr.xml"), Translation("cur_FR", Entry("sonvel_dl_waiting", "En attente") +
                                                              Entry("sonvel_only_fr", "Seulement")));
    WriteFile(dir.File("c-broken.xml"), "<translation><name>cur_XX");

    {
        LogRecorder log;
        TranslationService::Initialize(dir.Path(), "cur_DE");
        EXPECT_EQ(std::vector<std::string>{"Unable to parse translation: " + dir.File("c-broken.xml")},
                  log.Lines());
    }
    TranslationService* service = TranslationService::Instance();
    EXPECT_EQ("Wartet", service->Translate("sonvel_dl_waiting", "Waiting"));
    EXPECT_EQ("a\nb", service->Translate("sonvel_line", "Line"));
    // Missing from the current locale: the default, never another locale's text.
    EXPECT_EQ("Only", service->Translate("sonvel_only_fr", "Only"));

    TranslationService::Initialize(dir.Path(), "cur_FR");
    EXPECT_EQ(service, TranslationService::Instance());
    EXPECT_EQ("En attente", service->Translate("sonvel_dl_waiting", "Waiting"));
    EXPECT_EQ("Seulement", service->Translate("sonvel_only_fr", "Only"));

    // A locale without a file.
    TranslationService::Initialize(dir.Path(), "cur_IT");
    EXPECT_EQ("Waiting", service->Translate("sonvel_dl_waiting", "Waiting"));
}

TEST(TranslationService, ReadsOnlyRegularFilesEndingInXml)
{
    TempDirectory dir;
    WriteFile(dir.File("upper.XML"), Translation("ext_A", Entry("sonvel_k", "upper")));
    WriteFile(dir.File("mixed.XmL"), Translation("ext_B", Entry("sonvel_k", "mixed")));
    WriteFile(dir.File("backup.xml.bak"), Translation("ext_C", Entry("sonvel_k", "backup")));
    WriteFile(dir.File("noextension"), Translation("ext_D", Entry("sonvel_k", "none")));
    boost::filesystem::create_directory(dir.File("folder.xml"));
    WriteFile(dir.File("target.txt"), Translation("ext_E", Entry("sonvel_k", "linked")));
    ASSERT_EQ(0, symlink(dir.File("target.txt").c_str(), dir.File("link.xml").c_str()));
    ASSERT_EQ(0, symlink(dir.File("nowhere").c_str(), dir.File("dangling.xml").c_str()));

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"ext_A", "upper"}, {"ext_B", "mixed"}, {"ext_C", "-"}, {"ext_D", "-"}, {"ext_E", "linked"}};
    for (const auto& locale : expected) {
        TranslationService::Initialize(dir.Path(), locale.first);
        EXPECT_EQ(locale.second, TranslationService::Instance()->Translate("sonvel_k", "-")) << locale.first;
    }
}

TEST(TranslationService, LaterFileOfTheSameNameReplacesTheEarlier)
{
    TempDirectory dir;
    WriteFile(dir.File("one.xml"), Translation("same_SS", Entry("sonvel_k", "one") + Entry("sonvel_one", "1")));
    WriteFile(dir.File("two.xml"), Translation("same_SS", Entry("sonvel_k", "two")));
    std::string listedLast;
    for (boost::filesystem::directory_iterator it(dir.Path()), end; it != end; ++it)
        listedLast = it->path().stem().string();

    TranslationService::Initialize(dir.Path(), "same_SS");
    TranslationService* service = TranslationService::Instance();
    EXPECT_EQ(listedLast, service->Translate("sonvel_k", "-"));
    // The whole locale is replaced, not merged.
    EXPECT_EQ(listedLast == "one" ? "1" : "-", service->Translate("sonvel_one", "-"));
}

TEST(TranslationService, KeepsLocalesWhenReadAgainOrWhenTheDirectoryIsMissing)
{
    TempDirectory dir;
    WriteFile(dir.File("keep.xml"), Translation("keep_KK", Entry("sonvel_k", "kept")));
    TranslationService::Initialize(dir.Path(), "keep_KK");

    // Locales are never removed: a missing directory only changes the current locale.
    TranslationService::Initialize(dir.File("missing"), "keep_KK");
    EXPECT_EQ("kept", TranslationService::Instance()->Translate("sonvel_k", "-"));
    TranslationService::Initialize(dir.File("keep.xml"), "keep_KK");
    EXPECT_EQ("kept", TranslationService::Instance()->Translate("sonvel_k", "-"));
}
