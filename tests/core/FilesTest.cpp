// Services on a real file system: paths and folders, and translations.
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/settings/PreferencesKeys.h"
#include "core/settings/UtilityPreferences.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace Downloader = Vantor::DigitalMedia::MusicClient::Downloader;
using Vantor::Filesystem::FilesystemUtility;
using Vantor::Filesystem::invalid_path_exception;
using Vantor::Localization::TranslationService;
using namespace VantorTest;

namespace {

typedef std::vector<std::pair<std::string, std::string>> Pairs;
typedef std::vector<std::string> Entries;

mode_t DirectoryMode(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? info.st_mode & 07777 : 0;
}

class LinuxFilesystem : public ::testing::Test {
protected:
    ~LinuxFilesystem() override { SetDownloadDirectory(""); }
    void SetDownloadDirectory(const std::string& value)
    {
        Downloader::Utility::Preferences()->SetString(Downloader::PreferencesKeys::DownloadDirectory, value.c_str());
    }

    ScopedHome home;
    Downloader::LinuxFilesystemUtility fs;
};

std::string Translation(const std::string& inside) { return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<translation>" + inside + "</translation>\n"; }

} // namespace

TEST_F(LinuxFilesystem, NamesAreCleanedAndCutToTheLimitsKeepingTheirExtension)
{
    std::string text = "a\\b:c*d?e\"f<g>h|i/j\x1Ak caf\xE9 \xC3\xA9\x01\x7F\xFF";
    fs.ReplaceInvalidPathChars(text);
    // Bytes of 128 and above, other control bytes and blanks are left alone.
    EXPECT_EQ("a_b_c_d_e_f_g_h_i_j_k caf\xE9 \xC3\xA9\x01\x7F\xFF", text);
    // A one-character extension goes back without its dot; one longer than the limit is given up.
    for (const auto& c : Pairs{{std::string(296, 'n') + ".mp3", std::string(251, 'n') + ".mp3"},
                               {std::string(300, 'n') + ".a", std::string(254, 'n') + "a"},
                               {std::string(300, 'n'), std::string(255, 'n')}, {"a." + std::string(300, 'e'), "a." + std::string(253, 'e')},
                               {std::string(250, 'n') + "?.mp3", std::string(250, 'n') + "_.mp3"}})
        EXPECT_EQ(c.second, fs.ValidateFilename(c.first)) << c.first.size();

    // Fifteen components of 254 characters fit the limit of 3840; the excess of the text as given
    // comes off the deepest components, each keeping at least one character.
    std::string fifteen, tooDeep;
    for (int i = 0; i < 15; ++i)
        fifteen += "/" + std::string(254, static_cast<char>('a' + i));
    const std::string longer = fifteen + "/" + std::string(200, 'x') + "/" + std::string(30, 'y') + "/";
    for (const auto& c : Pairs{{"a/b", "/a/b/"}, {"", "/"}, {"/x/\t\r\n y\v\f/", "/x/y/"}, {"/AC:DC/Black?", "/AC_DC/Black_/"},
                               {"/m/" + std::string(300, 'c') + "/d", "/m/" + std::string(254, 'c') + "/d/"}, {fifteen, fifteen + "/"},
                               {longer, fifteen + "/" + std::string(200 - (longer.size() - 3840 - 29), 'x') + "/y/"},
                               {"/" + std::string(5000, 'z'), "/z/"}})
        EXPECT_EQ(c.second, fs.ValidateDirectory(c.first)) << c.first.substr(0, 40);
    // 2500 one-character components can't give anything up.
    for (int i = 0; i < 2500; ++i)
        tooDeep += "/a";
    EXPECT_THROW(fs.ValidateDirectory(tooDeep), invalid_path_exception);
    EXPECT_EQ("/Artist/Album/01 Song_.mp3", fs.ValidatePath("Artist //Album/01 Song?.mp3", false));
    EXPECT_THROW(fs.ValidatePath("song.mp3", false), invalid_path_exception);
}

// A long name is cut to make room for the number; an extension with no room left is given up.
TEST_F(LinuxFilesystem, UniqueAndTemporaryNamesSkipTakenNumbersAndFitTheNameLimit)
{
    const std::string song = home.File("song.mp3"), folder = home.Path() + "/", hugeExtension = "a." + std::string(253, 'e');
    EXPECT_EQ(home.File("song(1).mp3"), fs.GetUniqueFilename(song));
    for (const char* taken : {"song.mp3", "song(1).mp3", "song(2).mp3", ".vlx(1).tmp", ".vlx(2).tmp"})
        WriteFile(home.File(taken), "x");
    EXPECT_EQ(home.File("song(3).mp3"), fs.ValidatePath(song, true));
    EXPECT_EQ(song, fs.ValidatePath(song, false));
    EXPECT_EQ(folder + ".vlx(3).tmp", fs.GetTemporaryFilename(folder.c_str()));
    EXPECT_EQ(home.File("song.(1)a"), fs.GetUniqueFilename(home.File("song.a")));
    EXPECT_EQ(home.File(std::string(248, 'n') + "(1).mp3"), fs.GetUniqueFilename(home.File(std::string(251, 'n') + ".mp3")));
    EXPECT_EQ(home.File(hugeExtension.substr(0, 252) + "(1)"), fs.GetUniqueFilename(home.File(hugeExtension)));
    EXPECT_THROW(fs.GetUniqueFilename("song.mp3"), invalid_path_exception);
}

// A plain file counts as existing and blocks any directory below it.
TEST_F(LinuxFilesystem, FoldersLieUnderHomeAreMadeWithMode0750AndMusicFollowsThePreferenceWhenItCanBeMade)
{
    EXPECT_EQ(home.File(".vantormp3/"), fs.GetSpecialDirectory(FilesystemUtility::SettingsDirectory));
    EXPECT_EQ(home.File(".vantormp3/temp/"), fs.GetSpecialDirectory(FilesystemUtility::TempDirectory));
    EXPECT_FALSE(fs.DirectoryExists(home.File(".vantormp3").c_str()));
    const mode_t previous = umask(022);
    EXPECT_EQ(home.File("Vantor MP3/"), fs.GetSpecialDirectory(FilesystemUtility::MusicDirectory));
    EXPECT_TRUE(fs.CreateDirectory(home.File("a/b//c/").c_str()));
    umask(previous);
    for (const char* level : {"Vantor MP3", "a", "a/b", "a/b/c"})
        EXPECT_EQ(0750u, DirectoryMode(home.File(level))) << level;

    TempDirectory elsewhere;
    WriteFile(home.File("plain"), "x");
    ASSERT_TRUE(fs.CreateDirectory(home.File("Music").c_str()));
    // Below a plain file it can't be made: then the default (in "Music"), and the preference stays.
    for (const auto& c : Pairs{{elsewhere.Path(), elsewhere.Path() + "/"}, {elsewhere.File("deep/er/"), elsewhere.File("deep/er/")},
                               {home.File("plain/music"), home.File("Music/Vantor MP3/")}}) {
        SetDownloadDirectory(c.first);
        EXPECT_EQ(c.second, fs.GetMusicDirectory()) << c.first;
        EXPECT_NE(0u, DirectoryMode(c.second)) << c.second;
        EXPECT_EQ(c.first, Downloader::Utility::Preferences()->GetString(Downloader::PreferencesKeys::DownloadDirectory, ""));
    }
    // A rename makes the target's folder, or fails without touching the source.
    WriteFile(home.File("partial"), "track data");
    EXPECT_FALSE(fs.RenameFile(home.File("partial").c_str(), home.File("plain/sub/target").c_str()));
    ASSERT_TRUE(fs.RenameFile(home.File("partial").c_str(), home.File("Artist/Album/01 Song.mp3").c_str()));
    EXPECT_EQ("track data", ReadFile(home.File("Artist/Album/01 Song.mp3")));
    const unsigned long long space = fs.GetFreeSpaceInBytes(home.Path().c_str());
    EXPECT_TRUE(space > 0 && space != ULLONG_MAX);
    EXPECT_EQ(ULLONG_MAX, fs.GetFreeSpaceInBytes(home.File("missing").c_str()));
}

TEST(TranslationLocale, ReadsEntriesUpToTheFirstIncompleteOneAndRejectsFilesWithoutAny)
{
    TempDirectory dir;
    WriteFile(dir.File("de.xml"),
              Translation("<name>de_DE</name><strings><string base=\"w\" translated=\"Wartet\"/><comment>passed over</comment>"
                          "<string base=\"dup\" translated=\"first\"/><string base=\"dup\" translated=\"Gr\xC3\xB6\xC3\x9F" "e\"/>"
                          // Left to right: "\\n" after a backslash is still a pair.
                          "<string base=\"lines\" translated=\"one\\ntwo\\t\\\\nthree\"/><string base=\"empty\" translated=\"\"/>"
                          "<string base=\"\" translated=\"orphan\"/><string base=\"half\"/><string base=\"after\" translated=\"A\"/>"
                          "</strings>"));
    const boost::shared_ptr<TranslationService::Locale> locale = TranslationService::Locale::Load(dir.File("de.xml"));
    ASSERT_TRUE(locale);
    EXPECT_EQ("de_DE", locale->Name());
    for (const auto& entry : Pairs{{"w", "Wartet"}, {"dup", "Gr\xC3\xB6\xC3\x9F" "e"}, {"lines", "one\ntwo\\t\\\nthree"},
                                   {"W", "-"}, {"empty", "-"}, {"", "-"}, {"half", "-"}, {"after", "-"}})
        EXPECT_EQ(entry.second, locale->Translate(entry.first, "-")) << entry.first;

    const std::string entry = "<string base=\"a\" translated=\"A\"/>";
    for (const std::string& contents :
         {std::string(), std::string("not XML"), "<settings><name>xx_XX</name><strings>" + entry + "</strings></settings>",
          Translation("<strings>" + entry + "</strings>"), Translation("<name></name><strings>" + entry + "</strings>"),
          Translation("<name>xx_XX</name>"), Translation("<name>xx_XX</name><strings><other base=\"a\" translated=\"A\"/></strings>"),
          Translation("<name>xx_XX</name><strings><string translated=\"A\"/>" + entry + "</strings>")}) {
        WriteFile(dir.File("bad.xml"), contents);
        LogRecorder log;
        EXPECT_FALSE(TranslationService::Locale::Load(dir.File("bad.xml"))) << contents;
        EXPECT_EQ(Entries{"Unable to parse translation: " + dir.File("bad.xml")}, log.Lines());
    }
    EXPECT_FALSE(TranslationService::Locale::Load(dir.File("missing.xml")));
    EXPECT_FALSE(TranslationService::Locale::Load(dir.Path()));
}

// Only regular files named "*.xml" in any case are read. A text missing from the current locale
// is the default, never another locale's; a missing directory only changes the current locale.
TEST(TranslationService, TranslatesFromTheCurrentLocaleOnlyOnceInitialized)
{
    // The lock is let go on the way out: a second call still gets the exception, not a deadlock.
    EXPECT_THROW(TranslationService::Instance(), TranslationService::ServiceNotInitializedException);
    EXPECT_THROW(TranslationService::Instance(), TranslationService::ServiceNotInitializedException);
    TempDirectory dir;
    WriteTranslationFile(dir.File("a-de.xml"), "cur_DE", {{"waiting", "Wartet"}, {"line", "a\\nb"}});
    WriteTranslationFile(dir.File("b-fr.xml"), "cur_FR", {{"waiting", "En attente"}, {"only_fr", "Seulement"}});
    WriteFile(dir.File("c-broken.xml"), "<translation><name>cur_XX");
    WriteTranslationFile(dir.File("d-it.XML"), "cur_IT", {{"waiting", "In attesa"}});
    WriteTranslationFile(dir.File("e-es.xml.bak"), "cur_ES", {{"waiting", "Esperando"}});
    boost::filesystem::create_directory(dir.File("f-folder.xml"));
    ASSERT_EQ(0, symlink(dir.File("nowhere").c_str(), dir.File("g-dangling.xml").c_str()));
    LogRecorder log;
    TranslationService::Initialize(dir.Path(), "cur_DE");
    EXPECT_EQ(Entries{"Unable to parse translation: " + dir.File("c-broken.xml")}, log.Lines());
    TranslationService* service = TranslationService::Instance();
    EXPECT_EQ("cur_DE", service->GetLocale());
    EXPECT_EQ("a\nb", service->Translate("line", "Line"));
    EXPECT_EQ("Only", service->Translate("only_fr", "Only"));
    for (const auto& locale : Pairs{{"cur_FR", "En attente"}, {"cur_IT", "In attesa"}, {"cur_ES", "Waiting"}, {"cur_DE", "Wartet"}}) {
        TranslationService::Initialize(locale.first == "cur_DE" ? dir.File("missing") : dir.Path(), locale.first);
        EXPECT_EQ(service, TranslationService::Instance());
        EXPECT_EQ(locale.second, Vantor::Localization::Translate("waiting", "Waiting")) << locale.first;
    }
}
