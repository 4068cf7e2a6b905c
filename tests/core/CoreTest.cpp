// The core's services off the network: values and their stored forms, paths and folders on a
// real file system, translations, and work on several threads.
#include "core/data/CryptoUtility.h"
#include "core/data/StringUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/settings/Preferences.h"
#include "core/settings/PreferencesKeys.h"
#include "core/settings/UtilityPreferences.h"
#include "core/threading/ServerThread.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/LogSubscriber.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"
#include "tests/support/TranslationFile.h"

#include <boost/algorithm/string/replace.hpp>
#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <stdexcept>

namespace Downloader = Vantor::DigitalMedia::MusicClient::Downloader;
using Vantor::Data::CryptoUtility;
using Vantor::Filesystem::FilesystemUtility;
using Vantor::Filesystem::invalid_path_exception;
using Vantor::Localization::TranslationService;
using Vantor::Settings::Preferences;
using Vantor::Threading::ServerThread;
using Vantor::Threading::WorkMessage;
using namespace VantorTest;

namespace {

typedef std::vector<std::pair<std::string, std::string>> Pairs;
typedef std::vector<std::string> Entries;
std::string Encode(const std::string& bytes, std::string out = "")
{
    return CryptoUtility::Base64Encode(bytes.data(), static_cast<int>(bytes.size()), out), out;
}

std::string Cipher(bool encrypt, const std::string& in, std::string out = "")
{
    return (encrypt ? CryptoUtility::EncryptString(in, out) : CryptoUtility::DecryptString(in, out)), out;
}

std::string Saved(Preferences& preferences, OpenFile file = OpenFile(std::tmpfile()))
{
    EXPECT_TRUE(preferences.Save(file.get()));
    return ContentsOf(file.get());
}

const char* const kDownloadDirectory = Downloader::PreferencesKeys::DownloadDirectory;

mode_t DirectoryMode(const std::string& path, struct stat info = {})
{
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? info.st_mode & 07777 : 0;
}

class LinuxFilesystem : public ::testing::Test {
protected:
    ~LinuxFilesystem() override { SetDownloadDirectory(""); }
    void SetDownloadDirectory(const std::string& value) { Downloader::Utility::Preferences()->SetString(kDownloadDirectory, value.c_str()); }

    ScopedHome home;
    Downloader::LinuxFilesystemUtility fs;
};

std::string Translation(const std::string& inside) { return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<translation>" + inside + "</translation>\n"; }

// Notes "empty" for every WorkQueueEmptySignal; the journal outlives the server and its worker.
class ServerThreadTest : public ::testing::Test, public sigslot::has_slots<sigslot::multi_threaded_local> {
protected:
    ServerThreadTest() { server->WorkQueueEmptySignal.connect(this, &ServerThreadTest::OnQueueEmpty); }
    ~ServerThreadTest() override { server.reset(); disconnect_all(); }
    void OnQueueEmpty() { journal.Add("empty"); }

    // Notes each call as "<name>:<message>" (" (caller)" on the test's thread). A blocking one's
    // first Run lasts, like a download, until the test notes "<name>:release".
    ServerThread::WorkItem Probe(const std::string& name, bool blocks = false, const WorkMessage* throwsOn = nullptr)
    {
        return [=](const WorkMessage& message) {
            const std::string what = &message == &WorkMessage::Run ? "run" : &message == &WorkMessage::Pause ? "pause" : "cancel";
            const std::string note = name + ":" + what + (std::this_thread::get_id() == testThread ? " (caller)" : "");
            const bool firstRun = note == name + ":run" && journal.Count(note) == 0;
            journal.Add(note);
            if (&message == throwsOn)
                throw std::runtime_error(name + " failed");
            if (blocks && firstRun && journal.WaitFor(name + ":release"))
                journal.Add(name + ":returned");
        };
    }

    Journal journal;
    const std::thread::id testThread = std::this_thread::get_id();
    std::unique_ptr<ServerThread> server = std::make_unique<ServerThread>();
};

} // namespace

// Only the first character decides whether text is kept as UTF-8 or read as Latin-1. Wide log
// lines arrive as UTF-8: surrogate pairs join, lone ones stay readable, a cut pair fails.
TEST(StringUtility, ConvertsToUTF8)
{
    // Overlong lead, surrogate range, a sequence cut by the end, a 5-byte lead are no UTF-8.
    for (const auto& c : Pairs{{"", ""}, {"abc\xE9", "abc\xE9"}, {"\xC3\xA9t\xE9", "\xC3\xA9t\xE9"},
                               {"\xC9t", "\xC3\x89t"}, {"\xFF\xC3\xA9", "\xC3\xBF\xC3\x83\xC2\xA9"}, {"\xC0\x80", "\xC3\x80\xC2\x80"},
                               {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"}, {"\xE2\x82", "\xC3\xA2\xC2\x82"},
                               {"\xF8\x88", "\xC3\xB8\xC2\x88"}, {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"}})
        EXPECT_EQ(c.second + c.second, Vantor::Data::StringUtility::MakeUTF8(c.first) + Vantor::Data::StringUtility::MakeOS(c.first));
    Journal log;
    LogSubscriber subscriber(log);
    for (const wchar_t* line : {L"a\xE9\xD83C\xDFB5", L"a\xDC00" L"b", L"a\xD83C"})
        Vantor::Diagnostic::Debug::LogString(std::wstring(line));
    EXPECT_EQ((Entries{"a\xC3\xA9\xF0\x9F\x8E\xB5", "a\xED\xB0\x80" "b", "string conversion failed"}), log.Entries());
}

// The protected form of a text, as the openssl command line makes it:
//   openssl enc -des-cbc -K 5c1e93a07b2df468 -iv e2704b9d13c6a85f -provider legacy -provider default -base64
// CR LF line ends and a missing last line end read alike; an empty file leaves `out` alone.
TEST(CryptoUtility, MatchesTheOpensslCommandLineAndRoundTripsEveryLength)
{
    for (const auto& v : Pairs{{"", "nTQT8AC/qf4=\n"},
                               {"Vantor queue \xC3\xA9\xFF\x80 test: <playlist/>",
                                "ylekaqnTiDemgVpOTjsAKdiUMP+wx+/kChMsDmz0LTylwndZwmCW8w==\n"},
                               {"<?xml version=\"1.0\"?><playlist>\xE4\xF6\xFC \xC3\xA4</playlist>\n",
                                "MqjvxkcQ5HRWhlQ8kPtCU0ZncrXcbtl/e3RPs+4gLKblXXAaw9iupdHKJyGy5pWK\nCwj0EzsxrFo=\n"}}) {
        EXPECT_EQ(v.second, Encode(Cipher(true, v.first)));
        const std::string crlf = boost::replace_all_copy(v.second, "\n", "\r\n");
        for (const std::string& file : {v.second, crlf, v.second.substr(0, v.second.size() - 1)}) {
            std::string out;
            CryptoUtility::DecryptVLXFile(TemporaryFileWith(file).get(), out);
            EXPECT_EQ(v.first, out) << file;
        }
    }
    // HTTPS needs the default provider's algorithms next to single DES.
    EVP_CIPHER* aes = EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr);
    EXPECT_NE(nullptr, aes);
    EVP_CIPHER_free(aes);
    for (std::string plain; plain.size() <= 70; plain += static_cast<char>(plain.size() * 37 + 200)) {
        std::string out = "kept";
        auto file = TemporaryFileWith("");
        CryptoUtility::EncryptVLXFile(file.get(), plain);
        EXPECT_EQ(plain.empty() ? "" : Encode(Cipher(true, plain)), ContentsOf(file.get()));
        CryptoUtility::DecryptVLXFile(file.get(), out);
        EXPECT_EQ(plain.empty() ? "kept" : plain, out) << plain.size();
    }
}

// A whole number of blocks without the padding block reads its last data block as bad padding.
TEST(CryptoUtility, RefusesWhatIsNotBase64AndKeepsTheWholeBlocksBeforeABadEnd)
{
    for (const std::string& text : {std::string("QUJD \n"), std::string(" QUJD\n"), std::string("QU\tJD\n"), std::string("QUJD<\n"),
                                    std::string("QU\0JD\n", 6), std::string("QUJD\x80\n"), std::string("QUJD\xFF\n"),
                                    std::string("QUJD\n\xC3\xA9"), std::string("-_==\n")}) {
        std::string out = "untouched";
        EXPECT_THROW(CryptoUtility::Base64Decode(text.data(), static_cast<int>(text.size()), out), CryptoUtility::Base64DecodeException);
        EXPECT_THROW(CryptoUtility::DecryptVLXFile(TemporaryFileWith(text).get(), out), CryptoUtility::Base64DecodeException);
        EXPECT_EQ("untouched", out) << text;
    }
    std::string out;
    EXPECT_THROW(CryptoUtility::Base64Decode(nullptr, 4, out), CryptoUtility::Base64DecodeException);
    EXPECT_THROW(CryptoUtility::Base64Decode("QUJD\n", 0, out), CryptoUtility::Base64DecodeException);
    EXPECT_THROW(CryptoUtility::Base64Encode(nullptr, 3, out), CryptoUtility::Base64EncodeException);
    EXPECT_THROW(CryptoUtility::DecryptVLXFile(nullptr, out), CryptoUtility::DecryptException);

    const std::string plain = "24 bytes, three blocks..", cipherText = Cipher(true, plain);
    std::string badPadding = cipherText;
    badPadding[23] = static_cast<char>(badPadding[23] ^ 0x01);
    EXPECT_EQ(plain.substr(0, 16), Cipher(false, badPadding).substr(0, 16));
    for (const size_t cut : {31, 20, 24, 7})
        EXPECT_EQ(plain.substr(0, cut == 31 ? 24 : cut < 8 ? 0 : 16), Cipher(false, cipherText.substr(0, cut))) << cut;
}

// Floats, integers, then strings, each in key order, in well-formed UTF-8 whatever the bytes.
TEST(Preferences, SavesTypedSettingsInOrderAsUTF8AndReadsThemBack)
{
    // A string replaces the integer of its key. Latin-1 from the start, after ASCII, and a
    // sequence cut by the end are written as UTF-8.
    Preferences preferences;
    preferences.SetInt("z", INT_MIN);
    preferences.SetBool("off", false);
    preferences.SetFloat("ratio", -1.25);
    for (const auto& kv : Pairs{{"b", "<a href=\"x\">Tom & 'Jerry'</a>"}, {"a", "two\nlines\n"}, {"z", "also a string"},
                                {"latin1", "\xE9t\xE9"}, {"mixed", "caf\xE9 cr\xC3\xA8me"}, {"cut\xE9", "end\xE2\x82"}})
        preferences.SetString(kv.first.c_str(), kv.second.c_str());
    const std::string document = Saved(preferences);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<preferences>\n    <setting type=\"0\" key=\"ratio\">-1.25</setting>\n"
              "    <setting type=\"1\" key=\"off\">0</setting>\n    <setting type=\"1\" key=\"z\">-2147483648</setting>\n"
              "    <setting type=\"2\" key=\"a\">two&#x0A;lines&#x0A;</setting>\n"
              "    <setting type=\"2\" key=\"b\">&lt;a href=&quot;x&quot;&gt;Tom &amp; &apos;Jerry&apos;&lt;/a&gt;</setting>\n"
              "    <setting type=\"2\" key=\"cut\xC3\xA9\">end\xC3\xA2\xC2\x82</setting>\n"
              "    <setting type=\"2\" key=\"latin1\">\xC3\xA9t\xC3\xA9</setting>\n"
              "    <setting type=\"2\" key=\"mixed\">caf\xC3\xA9 cr\xC3\xA8me</setting>\n"
              "    <setting type=\"2\" key=\"z\">also a string</setting>\n</preferences>\n",
              document);
    Preferences loaded(TemporaryFileWith(document).get());
    EXPECT_TRUE(loaded.IsLoaded());
    EXPECT_EQ(document, Saved(loaded));
    EXPECT_EQ("also a string|", loaded.GetString("z", "") + "|" + loaded.GetString("off", ""));
    EXPECT_TRUE(loaded.GetInt("z", 0) == INT_MIN && loaded.GetFloat("ratio", 0) == -1.25 && !loaded.GetBool("off", true));
}

// Latin-1 bytes under a UTF-8 declaration (an older program's file): read as UTF-8, the lead
// byte 0xE9 would swallow the "</" after it. The next save repairs it.
TEST(Preferences, ReadsLatin1ByteByByteAndKeepsWhatIsHeldFromBadFiles)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<preferences>";
    const std::string written = head + "<setting type=\"2\" key=\"dir\">/M\xFCsik/caf\xE9</setting><setting key=\"noType\">1</setting>"
        "<setting type=\"1\">1</setting><setting type=\"1\" key=\"noText\"/><setting type=\"7\" key=\"unknown\">1</setting>"
        "<setting type=\"-1\" key=\"negative\">1</setting><other type=\"1\" key=\"other\">1</other>"
        "<setting type=\"1\" key=\"k\">4</setting><setting type=\"1\" key=\"k\">5</setting></preferences>";
    Preferences preferences(TemporaryFileWith(written).get());
    EXPECT_EQ("/M\xFCsik/caf\xE9", preferences.GetString("dir", ""));
    EXPECT_EQ(head + "\n    <setting type=\"1\" key=\"k\">5</setting>\n"
                     "    <setting type=\"2\" key=\"dir\">/M\xC3\xBCsik/caf\xC3\xA9</setting>\n</preferences>\n", Saved(preferences));
    for (const std::string& contents : {std::string(), std::string("not xml"), std::string("<preferences><setting type=\"1\" key=\"k\">3"),
                                        std::string("\0\0\0\0", 4), head + "<setting>\xE9", std::string("\xEF\xBB\xBF")}) {
        EXPECT_FALSE(preferences.Load(TemporaryFileWith(contents).get())) << contents;
        EXPECT_FALSE(preferences.IsLoaded());
        EXPECT_EQ(5, preferences.GetInt("k", 0));
    }
}

TEST_F(LinuxFilesystem, NamesAreCleanedCutToTheLimitsKeepingTheirExtensionAndMadeUnique)
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

    // Unique and temporary names skip taken numbers. A long name is cut to make room for the
    // number; an extension with no room left is given up.
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
        EXPECT_EQ(c.first, Downloader::Utility::Preferences()->GetString(kDownloadDirectory, ""));
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

// Pause holds the queue, also for work that comes in meanwhile; Resume runs the paused item
// again on the caller beside the worker's way through the queue. Items that throw are dropped.
TEST_F(ServerThreadTest, PauseResumeAndCancelCurrentTellTheItemUnderWayOnTheCaller)
{
    for (const auto& item :
         {Probe("a", true, &WorkMessage::Pause), ServerThread::WorkItem(), Probe("b", false, &WorkMessage::Run), Probe("c", true)})
        server->EnqueueWork(item);
    server->Start();
    ASSERT_TRUE(journal.WaitFor("a:run"));
    EXPECT_NO_THROW(server->Pause());
    server->Pause();
    journal.Add("a:release");
    ASSERT_TRUE(journal.WaitFor("a:returned"));
    server->EnqueueWork(Probe("d"));
    journal.Add("resuming");
    EXPECT_NO_THROW(server->Resume());
    ASSERT_TRUE(journal.WaitFor("c:run"));
    server->CancelCurrent();
    journal.Add("c:release");
    ASSERT_TRUE(journal.WaitFor("empty"));
    Entries entries = journal.Entries();
    ASSERT_EQ(1, std::count(entries.begin(), entries.end(), "a:run (caller)"));
    entries.erase(std::find(entries.begin(), entries.end(), "a:run (caller)"));
    EXPECT_EQ((Entries{"a:run", "a:pause (caller)", "a:release", "a:returned", "resuming", "b:run", "c:run", "c:cancel (caller)",
                       "c:release", "c:returned", "d:run", "empty"}),
              entries);
}

// Many threads at once: each cipher round trip holds, also on the process's first cipher call
// (which loads the providers), and every text read while one thread reads the translations
// again is a locale's text or the default.
TEST(Threads, CipherAndTranslationsServeManyThreadsAtOnce)
{
    TempDirectory dir;
    for (const std::string locale : {"de", "fr"})
        WriteTranslationFile(dir.File(locale + ".xml"), locale, {{"k", locale}});
    TranslationService::Initialize(dir.Path(), "de");
    std::atomic<int> stop(0), reading(0), mismatches(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                const std::string plain(static_cast<size_t>(t * 13 + round), static_cast<char>(0x80 + t));
                std::string cipherText, back;
                CryptoUtility::EncryptString(plain, cipherText);
                CryptoUtility::DecryptString(cipherText, back);
                mismatches += back != plain;
            }
            while (t == 0 && reading < 5)
                std::this_thread::yield();
            for (int round = 0; t == 0 && round < 60; ++round)
                TranslationService::Initialize(dir.Path(), round % 3 == 0 ? "fr" : round % 3 == 1 ? "it" : "de");
            for (stop |= t == 0, ++reading; !stop;) {
                const std::string text = TranslationService::Instance()->Translate("k", "-");
                mismatches += text != "de" && text != "fr" && text != "-";
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, mismatches);
}
