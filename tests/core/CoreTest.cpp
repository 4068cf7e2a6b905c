// The core's services: values, stored forms, paths, translations and the worker thread on a real
// file system; transfers, the update check and the reports against local servers and proxies.
#include "core/data/CryptoUtility.h"
#include "core/data/StringUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"
#include "core/net/UpdateCheck.h"
#include "core/reporting/ReportService.h"
#include "core/settings/Preferences.h"
#include "core/settings/PreferencesKeys.h"
#include "core/settings/UtilityPreferences.h"
#include "core/threading/ServerThread.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/LogSubscriber.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ProxyServer.h"
#include "tests/support/StoreServer.h"
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
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

namespace Downloader = Vantor::DigitalMedia::MusicClient::Downloader;
using Vantor::Data::CryptoUtility;
using Vantor::Filesystem::FilesystemUtility;
using Vantor::Filesystem::invalid_path_exception;
using Vantor::Localization::TranslationService;
using Vantor::Net::Download;
using Vantor::Net::UpdateCheck;
using Vantor::Reporting::Report;
using Vantor::Reporting::ReportService;
using Vantor::Settings::Preferences;
using Vantor::Settings::Version;
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

struct LinuxFilesystem : ::testing::Test {
    ~LinuxFilesystem() override { SetDownloadDirectory(""); }
    void SetDownloadDirectory(const std::string& value) { Downloader::Utility::Preferences()->SetString(kDownloadDirectory, value.c_str()); }

    ScopedHome home;
    Downloader::LinuxFilesystemUtility fs;
};

std::string Translation(const std::string& inside) { return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<translation>" + inside + "</translation>\n"; }

// Notes "empty" for every WorkQueueEmptySignal, and with `holdEmpty` stays in it until the test
// notes "empty:release"; the journal outlives the server and its worker.
struct ServerThreadTest : ::testing::Test, sigslot::has_slots<sigslot::multi_threaded_local> {
    ServerThreadTest() { server->WorkQueueEmptySignal.connect(this, &ServerThreadTest::OnQueueEmpty); }
    ~ServerThreadTest() override { server.reset(); disconnect_all(); }
    void OnQueueEmpty()
    {
        journal.Add("empty");
        if (holdEmpty)
            journal.WaitFor("empty:release");
    }

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
    bool holdEmpty = false;
    const std::thread::id testThread = std::this_thread::get_id();
    std::unique_ptr<ServerThread> server = std::make_unique<ServerThread>();
};

// Only the first character decides whether text is kept as UTF-8 or read as Latin-1; for a value
// read from a file, every character does. Wide log lines arrive as UTF-8: surrogate pairs join,
// lone ones stay readable, a cut pair fails.
TEST(StringUtility, ConvertsToUTF8)
{
    // Overlong lead, surrogate range, a sequence cut by the end, a 5-byte lead are no UTF-8.
    for (const auto& c : Pairs{{"", ""}, {"abc\xE9", "abc\xE9"}, {"\xC3\xA9t\xE9", "\xC3\xA9t\xE9"},
                               {"\xC9t", "\xC3\x89t"}, {"\xFF\xC3\xA9", "\xC3\xBF\xC3\x83\xC2\xA9"}, {"\xC0\x80", "\xC3\x80\xC2\x80"},
                               {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"}, {"\xE2\x82", "\xC3\xA2\xC2\x82"},
                               {"\xF8\x88", "\xC3\xB8\xC2\x88"}, {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"}})
        EXPECT_EQ(c.second + c.second, Vantor::Data::StringUtility::MakeUTF8(c.first) + Vantor::Data::StringUtility::MakeOS(c.first));
    for (const auto& c : Pairs{{"abc\xE9", "abc\xC3\xA9"}, {"\xC3\xA9t\xE9", "\xC3\x83\xC2\xA9t\xC3\xA9"},
                               {"\xC3\xA9t\xF0\x9F\x8E\xB5", "\xC3\xA9t\xF0\x9F\x8E\xB5"}, {"", ""}})
        EXPECT_EQ(c.second, Vantor::Data::StringUtility::ValueToUTF8(c.first));
    Journal log;
    LogSubscriber subscriber(log);
    for (const wchar_t* line : {L"a\xE9\xD83C\xDFB5", L"a\xDC00" L"b", L"a\xD83C"})
        Vantor::Diagnostic::Debug::LogString(std::wstring(line));
    EXPECT_EQ((Entries{"a\xC3\xA9\xF0\x9F\x8E\xB5", "a\xED\xB0\x80" "b", "string conversion failed"}), log.Entries());
}

// The protected form of a text, as the openssl command line makes it:
//   openssl enc -des-cbc -K 5c1e93a07b2df468 -iv e2704b9d13c6a85f -provider legacy -provider default -base64
// CR LF line ends and a missing last line end read alike; an empty file leaves `out` alone. A
// whole number of blocks without the padding block reads its last data block as bad padding.
TEST(CryptoUtility, MatchesTheOpensslCommandLineRoundTripsEveryLengthAndRefusesWhatIsNotBase64)
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
    std::unique_ptr<EVP_CIPHER, void (*)(EVP_CIPHER*)> aes(EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr), EVP_CIPHER_free);
    EXPECT_TRUE(aes);
    for (std::string plain; plain.size() <= 70; plain += static_cast<char>(plain.size() * 37 + 200)) {
        std::string out = "kept";
        auto file = TemporaryFileWith("");
        CryptoUtility::EncryptVLXFile(file.get(), plain);
        EXPECT_EQ(plain.empty() ? "" : Encode(Cipher(true, plain)), ContentsOf(file.get()));
        CryptoUtility::DecryptVLXFile(file.get(), out);
        EXPECT_EQ(plain.empty() ? "kept" : plain, out) << plain.size();
    }
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

// Floats, integers, then strings, each in key order, in UTF-8 whatever the bytes (Latin-1 from the
// start, after ASCII, a cut sequence). An older program's Latin-1 under a UTF-8 declaration: read as
// UTF-8, the lead byte 0xE9 would swallow the "</" after it; the next save repairs it.
TEST(Preferences, SavesTypedSettingsInOrderAsUTF8ReadsThemBackAndKeepsWhatIsHeldFromBadFiles)
{
    Preferences typed;
    typed.SetInt("z", INT_MIN);
    typed.SetBool("off", false);
    typed.SetFloat("ratio", -1.25);
    for (const auto& kv : Pairs{{"b", "<a href=\"x\">Tom & 'Jerry'</a>"}, {"a", "two\nlines\n"}, {"z", "also a string"},
                                {"latin1", "\xE9t\xE9"}, {"mixed", "caf\xE9 cr\xC3\xA8me"}, {"cut\xE9", "end\xE2\x82"}})
        typed.SetString(kv.first.c_str(), kv.second.c_str());
    const std::string document = Saved(typed);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<preferences>\n    <setting type=\"0\" key=\"ratio\">-1.25</setting>\n"
              "    <setting type=\"1\" key=\"off\">0</setting>\n    <setting type=\"1\" key=\"z\">-2147483648</setting>\n"
              "    <setting type=\"2\" key=\"a\">two&#x0A;lines&#x0A;</setting>\n    <setting type=\"2\" key=\"b\">&lt;a href=&quot;x&quot;&gt;Tom &amp; &apos;Jerry&apos;&lt;/a&gt;</setting>\n"
              "    <setting type=\"2\" key=\"cut\xC3\xA9\">end\xC3\xA2\xC2\x82</setting>\n"
              "    <setting type=\"2\" key=\"latin1\">\xC3\xA9t\xC3\xA9</setting>\n    <setting type=\"2\" key=\"mixed\">caf\xC3\xA9 cr\xC3\xA8me</setting>\n"
              "    <setting type=\"2\" key=\"z\">also a string</setting>\n</preferences>\n",
              document);
    Preferences loaded(TemporaryFileWith(document).get());
    EXPECT_TRUE(loaded.IsLoaded());
    EXPECT_EQ(document, Saved(loaded));
    EXPECT_EQ("also a string|", loaded.GetString("z", "") + "|" + loaded.GetString("off", ""));
    EXPECT_TRUE(loaded.GetInt("z", 0) == INT_MIN && loaded.GetFloat("ratio", 0) == -1.25 && !loaded.GetBool("off", true));

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

// A document without its <preferences> element is damaged, as one cut later is: the program's own
// file cut at every byte (TinyXML finds nothing wrong with text that ends before or inside the first
// tag), and well-formed files with another root or none. What is held stays.
TEST(Preferences, AFileWithoutItsRootElementIsNotLoaded)
{
    Preferences own;
    own.SetInt("ProxyServerPort", 3128);
    own.SetString("DownloadDirectory", "/home/u/Musik/");
    const std::string whole = Saved(own);
    Entries damaged = {"<settings><setting type=\"1\" key=\"k\">3</setting></settings>", "<?xml version=\"1.0\"?><!-- -->",
                       "<setting type=\"1\" key=\"k\">3</setting>"};
    for (size_t cut = 0; cut + 1 < whole.size(); ++cut)
        damaged.push_back(whole.substr(0, cut));
    Preferences preferences;
    preferences.SetInt("k", 5);
    for (const std::string& contents : damaged) {
        EXPECT_FALSE(preferences.Load(TemporaryFileWith(contents).get())) << contents.size() << ": " << contents;
        EXPECT_EQ(5, preferences.GetInt("k", 0));
    }
    EXPECT_TRUE(preferences.Load(TemporaryFileWith(whole).get()) && preferences.IsLoaded());
    EXPECT_EQ(3128, preferences.GetInt("ProxyServerPort", 0));
}

// A settings file cut short, garbled or without its root element is kept aside, never over one kept
// before, and logged; the program goes on with the defaults, and the quit's save leaves the kept file
// as it was, with the user's proxy and music folder where it holds them. The file is loaded once per
// process, so each start is a child of its own.
TEST(UtilityPreferences, SettingsThatCantBeReadAreKeptAsideAndTheDefaultsApply)
{
    ScopedHome home;
    const std::string settings = Downloader::Utility::PreferencesFilename();
    const auto start = [&](const std::string& kept) -> std::string {
        LogRecorder log;
        const std::string port = std::to_string(Downloader::Utility::Preferences()->GetInt("ProxyServerPort", 0));
        if (!Downloader::Utility::SavePreferences())
            return "not saved";
        const Entries expected{"Preferences: couldn't read " + settings + "; kept it as " + kept + " and started with the defaults"};
        return log.Lines() == expected ? "port " + port : "logged: " + (log.Lines().empty() ? "nothing" : log.Lines()[0]);
    };
    Vantor::Settings::Preferences own;
    own.SetInt("ProxyServerPort", 3128);
    const std::string chosen = "<setting type=\"1\" key=\"ProxyServerPort\">3128</setting>"
                               "<setting type=\"2\" key=\"DownloadDirectory\">/home/u/Musik/</setting>";
    const std::pair<std::string, std::string> starts[] = {
        {"<preferences>" + chosen.substr(0, 50), settings + ".unreadable"},
        {"\x7f\x01<preferences>\x80", settings + ".unreadable.2"},
        {Saved(own).substr(0, 41), settings + ".unreadable.3"},
        {"<?xml version=\"1.0\"?>" + chosen, settings + ".unreadable.4"}};
    for (const auto& [contents, kept] : starts) {
        WriteFile(settings, contents);
        EXPECT_EXIT(
            {
                std::fprintf(stderr, "%s\n", start(kept).c_str());
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(0), "^port 0\n$");
        EXPECT_NE(std::string::npos, ReadFile(settings).find("<preferences />"));
    }
    for (const auto& [contents, kept] : starts)
        EXPECT_EQ(contents, ReadFile(kept));
}

TEST_F(LinuxFilesystem, NamesAreCleanedCutToTheLimitsKeepingTheirExtensionAndMadeUnique)
{
    std::string text = "a\\b:c*d?e\"f<g>h|i/j\x1Ak caf\xE9 \xC3\xA9\x01\x7F\xFF\n\x1B[2J\t\xC2\x85\xC2\xA0\xC2\x9F\xC2";
    fs.ReplaceInvalidPathChars(text);
    // Control characters go, U+0080 to U+009F too; other bytes of 128 and above and blanks stay.
    EXPECT_EQ("a_b_c_d_e_f_g_h_i_j_k caf\xE9 \xC3\xA9__\xFF__[2J__\xC2\xA0_\xC2", text);
    // A one-character extension goes back without its dot; one longer than the limit is given up.
    // A cut falls where a character ends.
    for (const auto& c : Pairs{{std::string(296, 'n') + ".mp3", std::string(251, 'n') + ".mp3"},
                               {Repeated("\xC3\xBC", 200) + ".mp3", Repeated("\xC3\xBC", 125) + ".mp3"},
                               {"n" + Repeated("\xE2\x82\xAC", 100) + ".mp3", "n" + Repeated("\xE2\x82\xAC", 83) + ".mp3"},
                               {std::string(300, 'n') + ".a", std::string(254, 'n') + "a"},
                               {std::string(300, 'n'), std::string(255, 'n')}, {"a." + std::string(300, 'e'), "a." + std::string(253, 'e')},
                               {std::string(250, 'n') + "?.mp3", std::string(250, 'n') + "_.mp3"},
                               // Never hidden, so never in the partial-file pattern either.
                               {".versteckt.mp3", "_versteckt.mp3"}, {".vlx(8).tmp", "_vlx(8).tmp"}})
        EXPECT_EQ(c.second, fs.ValidateFilename(c.first)) << c.first.size();

    // Each component is trimmed, then cut to 254 bytes where a character ends. Fifteen components
    // of 254 fit the limit of 3840; what is still too long comes off the deepest components, each
    // keeping at least its first character.
    std::string fifteen, tooDeep;
    for (int i = 0; i < 15; ++i)
        fifteen += "/" + std::string(254, static_cast<char>('a' + i));
    const std::string longer = fifteen + "/" + std::string(200, 'x') + "/" + std::string(30, 'y') + "/";
    const std::string euro = "\xE2\x82\xAC";
    for (const auto& c : Pairs{{"a/b", "/a/b/"}, {"", "/"}, {"/x/\t\r\n y\v\f/", "/x/y/"}, {"/AC:DC/Black?", "/AC_DC/Black_/"},
                               {"/.config/ \t.local\n/..", "/_config/_local/_./"},
                               {"/m/" + std::string(300, 'c') + "/d", "/m/" + std::string(254, 'c') + "/d/"}, {fifteen, fifteen + "/"},
                               {longer, fifteen + "/" + std::string(200 - (longer.size() - 3840 - 29), 'x') + "/y/"},
                               {"/" + std::string(5000, 'z'), "/" + std::string(254, 'z') + "/"},
                               {"/" + Repeated("\xC3\xBC", 5000) + "/" + std::string(10000, 'B'), "/" + Repeated("\xC3\xBC", 127) + "/" + std::string(254, 'B') + "/"},
                               {"/ \t" + std::string(253, 'b') + " c", "/" + std::string(253, 'b') + "/"},
                               {fifteen + "/" + Repeated("\xC3\xBC", 100), fifteen + "/" + Repeated("\xC3\xBC", 6) + "/"},
                               {fifteen + "/" + std::string(200, 'x') + "/" + Repeated(euro, 4), fifteen + "/" + std::string(9, 'x') + "/" + euro + "/"}})
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
    EXPECT_EQ(home.File("n" + Repeated("\xC3\xBC", 123) + "(1).mp3"), fs.GetUniqueFilename(home.File("n" + Repeated("\xC3\xBC", 125) + ".mp3")));
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

TEST(TranslationService, ReadsLocalesUpToTheFirstIncompleteEntryAndTranslatesFromTheCurrentOneOnceInitialized)
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

    // Only regular files "*.xml" in any case are read. A text missing from the current locale is the
    // default, never another's; a missing directory only changes the locale. The lock is let go on
    // the way out: a second call still gets the exception, not a deadlock.
    EXPECT_THROW(TranslationService::Instance(), TranslationService::ServiceNotInitializedException);
    EXPECT_THROW(TranslationService::Instance(), TranslationService::ServiceNotInitializedException);
    TempDirectory folder;
    WriteTranslationFile(folder.File("a-de.xml"), "cur_DE", {{"waiting", "Wartet"}, {"line", "a\\nb"}});
    WriteTranslationFile(folder.File("b-fr.xml"), "cur_FR", {{"waiting", "En attente"}, {"only_fr", "Seulement"}});
    WriteFile(folder.File("c-broken.xml"), "<translation><name>cur_XX");
    WriteTranslationFile(folder.File("d-it.XML"), "cur_IT", {{"waiting", "In attesa"}});
    WriteTranslationFile(folder.File("e-es.xml.bak"), "cur_ES", {{"waiting", "Esperando"}});
    boost::filesystem::create_directory(folder.File("f-folder.xml"));
    ASSERT_EQ(0, symlink(folder.File("nowhere").c_str(), folder.File("g-dangling.xml").c_str()));
    LogRecorder log;
    TranslationService::Initialize(folder.Path(), "cur_DE");
    EXPECT_EQ(Entries{"Unable to parse translation: " + folder.File("c-broken.xml")}, log.Lines());
    TranslationService* service = TranslationService::Instance();
    EXPECT_EQ("cur_DE", service->GetLocale());
    EXPECT_EQ("a\nb", service->Translate("line", "Line"));
    EXPECT_EQ("Only", service->Translate("only_fr", "Only"));
    for (const auto& locale : Pairs{{"cur_FR", "En attente"}, {"cur_IT", "In attesa"}, {"cur_ES", "Waiting"}, {"cur_DE", "Wartet"}}) {
        TranslationService::Initialize(locale.first == "cur_DE" ? folder.File("missing") : folder.Path(), locale.first);
        EXPECT_EQ(service, TranslationService::Instance());
        EXPECT_EQ(locale.second, Vantor::Localization::Translate("waiting", "Waiting")) << locale.first;
    }
}

// Pause holds the queue, also for work that comes in meanwhile; Resume runs the paused item
// again on the caller beside the worker's way through the queue. Items that throw are dropped.
// Cancel while the worker announces the empty queue tells the item that returned nothing.
TEST_F(ServerThreadTest, PauseResumeAndCancelCurrentTellTheItemUnderWayOnTheCaller)
{
    holdEmpty = true;
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
    server->Cancel(true);
    journal.Add("empty:release");
    Entries entries = journal.Entries();
    ASSERT_EQ(1, std::count(entries.begin(), entries.end(), "a:run (caller)"));
    entries.erase(std::find(entries.begin(), entries.end(), "a:run (caller)"));
    EXPECT_EQ((Entries{"a:run", "a:pause (caller)", "a:release", "a:returned", "resuming", "b:run", "c:run", "c:cancel (caller)",
                       "c:release", "c:returned", "d:run", "empty", "empty:release"}),
              entries);
}

// Each cipher round trip holds, also on the first cipher call (loading the providers), and each
// text read while one thread reads the translations again is a locale's text or the default.
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

typedef Download::ProxyHost Proxy;

const std::string kTrack = "track.bin", kSmall = "small.bin", kExpiredText = "Link abgelaufen", kNotFound = "not found";
const std::string kReportPath = "/gp/sonvel/ruq-result.html/", kReportTail = "ruqver=1.0.9&locale=de_DE";

// Files of bytes that repeat nowhere nearby, and the servers; made once for the whole program.
struct Store {
    Store()
    {
        std::mt19937 generator(1);
        std::string bytes((3 << 20) + (64 << 10), '\0');
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(generator() & 0xff); });
        WriteFile(root.File(kTrack), bytes.substr(64 << 10));
        WriteFile(root.File(kSmall), bytes.substr(0, 64 << 10));
    }
    TempDirectory root;
    StoreServer server{root.Path()};
};

Store& TheStore() { static Store store; return store; }
NginxServer& Nginx() { static NginxServer nginx(TheStore().root.Path()); return nginx; }

std::string Served(const std::string& name) { return ReadFile(TheStore().root.File(name)); }
std::string Http(const std::string& path) { return Nginx().HttpUrl(path); }
std::string Https(const std::string& path) { return Nginx().HttpsUrl(path); }
std::string Stand(const std::string& path) { return TheStore().server.Url(path); }

void UseTexts(const std::map<std::string, std::string>& texts, const std::string& locale = "de_DE")
{
    static TempDirectory translations;
    WriteTranslationFile(translations.File(locale + ".xml"), locale, texts);
    Vantor::Localization::TranslationService::Initialize(translations.Path(), locale);
}

struct DownloadTest : ::testing::Test {
    DownloadTest() { UseTexts({{"sonvel_dl_expired", kExpiredText}}); Download::SetCertificateAuthorityFile(Nginx().CertificateFile().c_str()); }
    ~DownloadTest() override { Download::SetProxyHost(Proxy()); }

    // One transfer into a file, resumed from its size as the queue does; its contents after it.
    std::string Fetch(Download& download, const std::string& partial = "")
    {
        WriteFile(work.File("out.bin"), partial);
        std::fstream file(work.File("out.bin"), std::ios::in | std::ios::out | std::ios::binary);
        download.DownloadSync(file);
        file.close();
        return ReadFile(work.File("out.bin"));
    }

    TempDirectory work;
};

// tinyproxy can't hold a password with ':' or '@'; microsocks can. HTTP/2 sends header names in
// lower case. A whole answer to a range request is written from the start, a range from within the
// local data from its start; either fails when the file ends before the local data did. A range
// from beyond it is a failed try. A page is a file like any other to a plain transfer (an update
// answer may come as one). Logs mask the hash also URL-encoded, each of several, and empty.
TEST_F(DownloadTest, FetchesByteForByteResumingPartialFilesDirectAndThroughEachProxy)
{
    Download::SetUserAgent("VantorTest/1.0");
    LogRecorder log;
    ProxyServer http(ProxyServer::Http), httpAuth(ProxyServer::Http, "vantor", "secret"), socks4(ProxyServer::Socks4),
        socks5(ProxyServer::Socks5, "vantor", "p:a@ss");
    const std::string track = Served(kTrack), small = Served(kSmall), head = track.substr(0, 1000), tailed = small + "tail";
    struct Case { std::string url, partial; Download::State state; long status, offset; std::string after, effective = ""; Proxy proxy = Proxy(); };
    std::vector<Case> cases = {{Stand("/nolength/" + kTrack), "", Download::Downloaded, 200, 0, track, Stand("/nolength/" + kTrack)},
                               {Stand("/" + kSmall + "?a=1&h=0123abcXYZ&b=2"), "", Download::Downloaded, 200, 0, small},
                               {Stand("/status/200?type=text/html"), "", Download::Downloaded, 200, 0, "status 200\n"},
                               {Stand("/redirect?to=" + Http("/" + kTrack)), "", Download::Downloaded, 200, 0, track, Http("/" + kTrack)},
                               {Https("/" + kTrack), head, Download::Downloaded, 206, 1000, track},
                               {Http("/" + kSmall), small, Download::Downloaded, 416, 0, small},
                               {Http("/" + kSmall), tailed, Download::NetworkError, 416, 0, tailed},
                               {Stand("/range-from/500/" + kTrack), head, Download::Downloaded, 206, 500, track},
                               {Stand("/range-from/5000/" + kTrack), head, Download::NetworkError, 206, 0, head},
                               {Stand("/range-from/500/" + kSmall), std::string(100000, 'x'), Download::LocalFileError, 206, 500, ""},
                               {Stand("/" + kTrack), std::string(1000, 'x'), Download::Downloaded, 200, 0, track},
                               {Stand("/" + kSmall), std::string(100000, 'x'), Download::LocalFileError, 200, 0, ""}};
    for (const Proxy& proxy : {Proxy(), Proxy(Proxy::HTTP, "127.0.0.1", http.Port(), "", ""),
                               Proxy(Proxy::HTTP, "127.0.0.1", httpAuth.Port(), "vantor", "secret"),
                               Proxy(Proxy::SOCKS4, "127.0.0.1", socks4.Port(), "", ""),
                               Proxy(Proxy::SOCKS5, "127.0.0.1", socks5.Port(), "vantor", "p:a@ss")})
        for (const std::string& url : {Http("/" + kTrack), Https("/" + kTrack)})
            cases.push_back({url, "", Download::Downloaded, 200, 0, track, url, proxy});
    for (const Case& c : cases) {
        Download::SetProxyHost(c.proxy);
        Download download(c.url.c_str(), 0);
        const std::string result = Fetch(download, c.partial);
        EXPECT_TRUE(c.after.empty() || c.after == result) << c.url << " from " << c.partial.size() << " via " << c.proxy.port;
        EXPECT_EQ(c.state, download.GetState());
        EXPECT_EQ(c.status, download.httpResponseCode);
        EXPECT_EQ(c.offset, download.resumeOffset);
        EXPECT_TRUE(c.effective.empty() || c.effective == download.EffectiveUrl());
        EXPECT_TRUE(c.status != 206 || c.state != Download::Downloaded || download.GetPercentCompleted() == 100);
    }
    const Entries sent = log.LinesContaining("Header Send: GET /small.bin?a=1...FILTERED...&b=2 HTTP/1.1 ");
    ASSERT_EQ(1u, sent.size());
    EXPECT_NE(std::string::npos, sent[0].find("User-Agent: VantorTest/1.0"));
    EXPECT_EQ(std::string::npos, sent[0].find('\n'));
    EXPECT_EQ(1u, log.LinesContaining(" " + Stand("/" + kSmall + "?a=1...FILTERED...&b=2")).size());
    EXPECT_TRUE(log.LinesContaining("0123abcXYZ").empty());
    EXPECT_EQ("u?r=a...FILTERED...%26z%3D1|a...FILTERED......FILTERED...-b|x...FILTERED...",
              Vantor::Net::FilterHash("u?r=a%26h%3DAbC123%26z%3D1|a&h=1&h=2-b|x&h="));
}

// Failures of one kind share their message, and kinds differ. Only web addresses are fetched,
// also where a redirect leads; a redirect whose body never ends leads nowhere. A stalled body ends
// after the 30 seconds of the stall limit. A body in a coding never asked for is of no use to any
// transfer, however its header is folded; a header with a blank before its colon is no answer.
TEST_F(DownloadTest, ClassifiesServerAnswersAndNetworkFailures)
{
    const std::string unresolvable = std::string(64, 'a') + ".invalid"; // fails without a name server
    const ClosedLocalPort closed;
    WriteFile(work.File("secret.txt"), "local secret");
    ProxyServer httpProxy(ProxyServer::Http, "vantor", "secret");
    const Proxy none, nowhere(Proxy::HTTP, unresolvable.c_str(), 3128, "", ""),
        wrongUser(Proxy::HTTP, "127.0.0.1", httpProxy.Port(), "vantor", "wrong");
    // kind: e(xpired), c(ontact us), r(etry), n(o connection), p(roxy), t(ime-out), u(nexpected)
    struct Case { std::string url; Proxy proxy; Download::NetworkErrorType type; CURLcode code; long status; char kind; size_t written; };
    const std::vector<Case> cases = {
        {Stand("/status/400"), none, Download::LinkExpired, CURLE_HTTP_RETURNED_ERROR, 400, 'e', 0},
        {Stand("/status/404"), none, Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 404, 'c', 0},
        {Stand("/cut/100000"), none, Download::TransferInterrupted, CURLE_PARTIAL_FILE, 200, 'r', 50000},
        {Stand("/nothing"), none, Download::NothingReceived, CURLE_GOT_NOTHING, 0, 'r', 0},
        {Stand("/status/200?coding=br"), none, Download::BadContentEncoding, CURLE_BAD_CONTENT_ENCODING, 200, 'r', 0},
        {Stand("/status/200?header=Content-Encoding:%0D%0A%20br"), none, Download::BadContentEncoding, CURLE_BAD_CONTENT_ENCODING, 200, 'r', 0},
        {Stand("/status/200?header=Content-Encoding%20:%20br"), none, Download::UnknownError, CURLE_WEIRD_SERVER_REPLY, 200, 'u', 0},
        {Stand("/stall/100000"), none, Download::TimedOut, CURLE_OPERATION_TIMEDOUT, 200, 't', 100},
        {closed.Url("/"), none, Download::ConnectFailed, CURLE_COULDNT_CONNECT, 0, 'n', 0},
        {"http://" + unresolvable + "/", none, Download::HostNotFound, CURLE_COULDNT_RESOLVE_HOST, 0, 'n', 0},
        {"", none, Download::MalformedUrl, CURLE_URL_MALFORMAT, 0, 'c', 0},
        {"file://" + work.File("secret.txt"), none, Download::UnknownError, CURLE_UNSUPPORTED_PROTOCOL, 0, 'u', 0},
        {Stand("/redirect?to=ftp://127.0.0.1:1/x"), none, Download::UnknownError, CURLE_UNSUPPORTED_PROTOCOL, 302, 'u', 0},
        {Stand("/endless-redirect?to=/" + kSmall), none, Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 302, 'c', 0},
        {Https("/" + kSmall), none, Download::UnknownError, CURLE_PEER_FAILED_VERIFICATION, 0, 'u', 0},
        {Http("/"), nowhere, Download::ProxyNotFound, CURLE_COULDNT_RESOLVE_PROXY, 0, 'p', 0},
        {Http("/"), wrongUser, Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 401, 'c', 0}};
    std::map<char, std::string> messages = {{'e', kExpiredText}};
    std::set<std::string> distinct = {""};
    for (const Case& c : cases) {
        Download::SetProxyHost(c.proxy);
        Download::SetCertificateAuthorityFile(c.code == CURLE_PEER_FAILED_VERIFICATION ? "" : Nginx().CertificateFile().c_str());
        Download download(c.url.c_str(), 0);
        EXPECT_EQ(c.written, Fetch(download).size()) << c.url.substr(0, 80);
        EXPECT_EQ(Download::NetworkError, download.GetState());
        EXPECT_EQ(c.type, download.networkErrorType);
        EXPECT_EQ(c.code, download.lastCurlCode);
        EXPECT_EQ(c.status, download.httpResponseCode);
        const std::string message = download.GetStateString();
        if (c.kind == 'u')
            EXPECT_EQ(": " + std::to_string(c.code), message.substr(message.rfind(':')));
        else
            EXPECT_EQ(messages.emplace(c.kind, message).first->second, *distinct.insert(message).first);
    }
    EXPECT_EQ(7u, distinct.size());
}

// A refused range ("*/<length>") finishes only a local file that is the whole file: asked for from
// within it, of the length the refusal names and of no other length the track or an earlier answer
// of the same download told. Anything else is a failed try that leaves the local file as it was.
TEST_F(DownloadTest, ARefusedRangeFinishesOnlyALocalFileThatIsTheWholeFile)
{
    const auto refused = [](const std::string& length) { return Stand("/status/416?range=bytes%20*/" + length); };
    const std::string half(20000, 'h');
    struct Case { std::string url, partial; long long known; Download::State state; };
    const Case cases[] = {{refused("0"), "", -1, Download::NetworkError},
                          {Stand("/redirect?to=/status/416%3Frange%3Dbytes%2520*/0"), "", -1, Download::NetworkError},
                          {refused("40000"), half, -1, Download::NetworkError},
                          {refused("20000"), half, 40000, Download::NetworkError},
                          {refused("20000"), half, 20000, Download::Downloaded},
                          {refused("20000"), half, -1, Download::Downloaded}};
    for (const Case& c : cases) {
        Download download(c.url.c_str(), 0);
        download.SetFileLength(c.known);
        EXPECT_EQ(c.partial, Fetch(download, c.partial)) << c.url;
        EXPECT_EQ(c.state, download.GetState()) << c.url << " from " << c.partial.size() << " of " << c.known;
    }
    Download announced(Stand("/cut/40000").c_str(), 0);
    const std::string cut = Fetch(announced);
    announced.requestUrl = refused("20000");
    announced.SetState(Download::Retrying);
    EXPECT_EQ(cut, Fetch(announced, cut));
    EXPECT_EQ(Download::NetworkError, announced.GetState()) << "the first answer announced 40000 bytes";
}

std::string Answer(const std::string& products) { return "<?xml version=\"1.0\"?>\n<ArrayOfProduct>" + products + "</ArrayOfProduct>"; }

std::string Product(const std::string& latest, const std::string& criticalSince, const std::string& url = " url=\"http://get/it\"",
                    const std::string& platform = "Linux", const std::string& name = "DownloadManager")
{
    return "<Product name=\"" + name + "\" platform=\"" + platform + "\" latestVersion=\"" + latest + "\"" +
           (criticalSince.empty() ? "" : " criticalSince=\"" + criticalSince + "\"") + url + "/>";
}

// "<latest> <url> [update] [critical]", or "not found" with every field at its default.
std::string Describe(const UpdateCheck::UpdateInfo& info)
{
    const std::string text = info.latestVersion.ToString() + " " + info.url + (info.updateAvailable ? " update" : "") + (info.critical ? " critical" : "");
    return info.found ? text : text == "0.0.0 " ? kNotFound : text + " (found not set)";
}

void UpdateAddress(const std::string& url, const std::string& locale = "en_US") { UseTexts({{"sonvel_url_update_check", url}}, locale); }

// Notes each delivered result, with " here" when it came on the test's own thread.
struct Results : Journal, sigslot::has_slots<sigslot::multi_threaded_local> {
    void OnCompleted(UpdateCheck::UpdateInfo info) { Add(Describe(info) + (std::this_thread::get_id() == main ? " here" : "")); }
    const std::thread::id main = std::this_thread::get_id();
};

// Versions compare as numbers. Not newer: "criticalSince" is not even read. The platform carries the
// locale but American English. An answer of 50 MB is refused without holding it all, and so is one
// nested deeper than 256 levels, however its markup hides the nesting; one behind a redirect whose
// body never ends is never reached. Destroying the check while one runs stops it rather than
// waiting it out, and delivers nothing.
TEST(UpdateCheck, AsksTheStoreOnItsOwnThreadsAndParsesTheAnswerForThePlatformOfTheLocale)
{
    Results results;
    UpdateAddress(Stand("/update.xml"));
    UpdateCheck check("DownloadManager", "Linux", Version(1, 0, 9));
    WriteFile(TheStore().root.File("update.xml"), Answer(std::string(50 * 1024 * 1024, ' ') + Product("1.1.0", "1.0.0")));
    EXPECT_EQ(kNotFound, Describe(check.CheckSync()));
    EXPECT_EQ(Entries(1, "/update.xml"), TheStore().server.Requests());
    WriteFile(TheStore().root.File("update.xml"), Answer(Product("1.1.0", "1.0.9", " url=\"http://store/new\"")));
    UpdateAddress(Stand("/endless-redirect?to=/update.xml"));
    EXPECT_EQ(kNotFound, Describe(UpdateCheck("DownloadManager", "Linux", Version(1, 0, 9)).CheckSync()));
    UpdateAddress(Stand("/update.xml"));
    auto async = std::make_unique<UpdateCheck>("DownloadManager", "Linux", Version(1, 0, 9));
    async->UpdateCompletedSignal.connect(&results, &Results::OnCompleted);
    async->CheckAsync();
    async->CheckAsync();
    ASSERT_TRUE(results.WaitFor("1.1.0 http://store/new update critical", 2));
    const ClosedLocalPort closed;
    UpdateAddress(closed.Url("/update.xml"));
    async->CheckAsync();
    ASSERT_TRUE(results.WaitFor(kNotFound));
    UpdateAddress(Stand("/stall/1000"));
    async->CheckAsync();
    ASSERT_TRUE(TheStore().server.WaitForRequests(5, kWaitLimit));
    async.reset();
    EXPECT_EQ(3u, results.Entries().size());

    // The first product with elements `levels` deep inside it, each opened by `open`.
    const auto nested = [](int levels, const std::string& open = "<x>") {
        const std::string product = Product("1.1.0", "1.0.0");
        return Answer(product.substr(0, product.size() - 2) + ">" + Repeated(open, levels) + Repeated("</x>", levels) + "</Product>");
    };
    Pairs cases = {
        {Answer(Product("1.0.10", "1.0.5")), "1.0.10 http://get/it update"}, {Answer(Product("01.0.9", "garbage")), "1.0.9 http://get/it"},
        {Answer(Product("2.0.0", "1.0.9")), "2.0.0 http://get/it update critical"}, {Answer(Product("1.1.0", "1.0.5", "")), "1.1.0  update"},
        {Answer("<Product platform=\"Linux\" latestVersion=\"9.0.0\" criticalSince=\"9.0.0\"/>" + Product("8.0.0", "1.0.0", "", "Windows") +
                Product("7.0.0", "1.0.0", "", "Linux", "X") + Product("1.1.0", "1.0.0", " url=\"first\"") + Product("1.2.0", "1.2.0")),
         "1.1.0 first update"},
        {Answer(Product("1.1.0", "1.0")), kNotFound}, {Answer(Product("1.1.0", "")), kNotFound}, {Answer(""), kNotFound},
        {Answer(Product("1.1.0", "1.0.0", "", "linux")), kNotFound}, {"<Products>" + Product("1.1.0", "1.0.0") + "</Products>", kNotFound},
        {"not XML", kNotFound}, {"", kNotFound}, {"<ArrayOfProduct>" + Product("1.1.0", "1.0.0").substr(0, 40), kNotFound},
        {nested(254), "1.1.0 http://get/it update"}, {nested(254, "<x b='<y>'><!--<y>--><![CDATA[<y>]]><?y <y>?>"), "1.1.0 http://get/it update"},
        {nested(255), kNotFound}, {"<ArrayOfProduct>" + Repeated("<a>", 60000), kNotFound}};
    for (const char* level : {"<a><!--></a>-->", "<a><![CDATA[</a>]]>", "<a b='</a>'>", "<a><?xml version='>'</a>?>"})
        cases.emplace_back("<ArrayOfProduct>" + Repeated(level, 60000), kNotFound);
    for (const auto& c : cases)
        EXPECT_EQ(c.second, Describe(check.ParseXml(c.first))) << c.first.substr(0, 200);
    for (const char* version : {"1.0", "1.0.9.1", "1..9", "1.0.x", " 1.0.9", "", "4294967296.0.0", "-1.0.0"})
        EXPECT_EQ(kNotFound, Describe(check.ParseXml(Answer(Product(version, "1.0.0"))))) << version;
    const Version a(1, 0, 10), b(1, 9, 0);
    EXPECT_TRUE(a < b && a <= b && !(a > b) && !(a >= b) && !(a == b) && a == Version(1, 0, 10) && b <= b && b >= b);
    for (const auto& platform : Pairs{{"", "Linux"}, {"en_GB", "Linux-en_uk"}, {"de_DE", "Linux-de_de"}}) {
        UpdateAddress(Stand("/update.xml"), platform.first);
        UpdateCheck localized("DownloadManager", "Linux", Version(1, 0, 9));
        EXPECT_EQ(platform.second == "Linux", localized.ParseXml(Answer(Product("1.1.0", "1.0.0"))).found);
        EXPECT_TRUE(localized.ParseXml(Answer(Product("1.1.0", "1.0.0", "", platform.second))).found) << platform.first;
    }
}

// Each report once, in order, never retried. Clearing drops the queued reports and stops the
// worker for good (each test runs in a process of its own): later reports are dropped too.
TEST(ReportService, SendsTheExactQueriesInOrderAndLogsHowEachWentUntilCleared)
{
    LogRecorder log;
    UseTexts({{"sonvel_url_report_service", Stand(kReportPath)}});
    ReportService::Send(ReportService::DlOk, "B000X");
    ReportService::Send(ReportService::NoMedlib, {{"zeta", "x y&z"}, {"alpha", "1"}, {"empty", ""}, {"", "orphan"}});
    ReportService::Send("dm_ruq_custom", "P-1", {{"k", "v"}});
    ASSERT_TRUE(TheStore().server.WaitForRequests(3, kWaitLimit));
    EXPECT_EQ((Entries{kReportPath + "ref=dm_ruq_dl_ok?os=linux&pcid=B000X&" + kReportTail,
                     kReportPath + "ref=dm_ruq_no_medlib?os=linux&" + kReportTail + "&alpha=1&zeta=x%20y%26z",
                     kReportPath + "ref=dm_ruq_custom?os=linux&pcid=P-1&" + kReportTail + "&k=v"}),
              TheStore().server.Requests());
    ASSERT_TRUE(log.WaitForLine("reftag post success: " + Stand(kReportPath) + "ref=dm_ruq_custom?"));

    UseTexts({{"sonvel_url_report_service", Stand("/status/404/")}});
    ReportService::Send(ReportService::DlErr03);
    EXPECT_TRUE(log.WaitForLine("reftag post failed. curl: 22, response: 404, url: " + Stand("/status/404/ref=dm_ruq_dl_err_03?os=linux&")));
    // Reports stall at this address, so the second one is still queued when the queue is cleared.
    UseTexts({{"sonvel_url_report_service", Stand("/stall/1000/")}});
    ReportService::Send("dm_ruq_first", "", {});
    ReportService::Send("dm_ruq_queued", "", {});
    ASSERT_TRUE(TheStore().server.WaitForRequests(5, kWaitLimit));
    ReportService::ClearPending();
    ReportService::Send("dm_ruq_after", "", {});
    EXPECT_EQ("/stall/1000/ref=dm_ruq_first?os=linux&" + kReportTail, TheStore().server.Requests().back());
    EXPECT_EQ(5u, TheStore().server.Requests().size());
    EXPECT_TRUE(log.LinesContaining("dm_ruq_queued").empty());
}

// Held reports go once a save that holds them is written (or any save failed), one read back from
// a saved queue at once, unless an earlier run noted the store's answer to it. The store's answer,
// with any status, ends a report, noted until a save without it landed; one it did not answer
// (none came, or a stop abandoned it) stays for the saves and is not tried again in this run. A
// save leaves out what a maker reported after the save wrote it.
TEST(ReportService, AReportStaysForTheSavesUntilTheStoreAnswersIt)
{
    LogRecorder log;
    const auto useBase = [](const std::string& path) { UseTexts({{"sonvel_url_report_service", Stand(path)}}); };
    const auto saved = [](const std::map<const void*, unsigned long long>& written = {}) {
        Entries tags;
        for (const Report& report : ReportService::ForSave(written))
            tags.push_back(report.tagText.substr(7));
        return tags;
    };
    const auto savedAndSent = [&] {
        const Entries held = saved();
        ReportService::SendSaved(true);
        return held;
    };
    TempDirectory folder;
    const std::string answered = folder.File("AnsweredReports");
    WriteFile(answered, "0123456789abcdef\n");
    ReportService::HoldUntilSaved(answered);
    useBase(kReportPath);
    ReportService::Restore({"dm_ruq_noted", "N", {}, "0123456789abcdef"});
    const int maker = 0;
    ReportService::Send("dm_ruq_held", "P", {}, &maker);
    const unsigned long long written = ReportService::Made();
    useBase("/status/404/");
    ReportService::Send("dm_ruq_later", "P", {}, &maker);
    useBase(kReportPath);
    ReportService::Restore({"dm_ruq_restored", "R", {{"curlcode", "7"}}, ""});
    EXPECT_TRUE(PollUntil([&] { return saved({{&maker, written}}) == Entries{"held"}; }));
    ReportService::SendSaved(true);
    EXPECT_TRUE(PollUntil([&] { return saved({{&maker, written}}).empty(); }));
    EXPECT_EQ(Entries{"later"}, savedAndSent());
    EXPECT_TRUE(PollUntil([&] { return saved().empty(); }));
    const std::string noted = ReadFile(answered);
    EXPECT_EQ(1, std::count(noted.begin(), noted.end(), '\n')) << "the answer since the last save noted: " << noted;
    savedAndSent();
    EXPECT_EQ("", ReadFile(answered)) << "emptied once a save without them landed";

    useBase("/nothing/");
    ReportService::Send("dm_ruq_unanswered", "", {});
    ReportService::SendSaved(false);
    ASSERT_TRUE(log.WaitForLine("reftag post failed. curl: 52, response: 0, url: " + Stand("/nothing/ref=dm_ruq_unanswered?")));
    useBase("/silent/");
    ReportService::Send("dm_ruq_silent", "", {});
    savedAndSent();
    ASSERT_TRUE(TheStore().server.WaitForRequests(5, kWaitLimit));
    ReportService::Stop();
    ReportService::Send("dm_ruq_after", "", {});
    EXPECT_EQ((Entries{"unanswered", "silent", "after"}), savedAndSent());
    EXPECT_EQ((Entries{kReportPath + "ref=dm_ruq_restored?os=linux&pcid=R&" + kReportTail + "&curlcode=7",
                       kReportPath + "ref=dm_ruq_held?os=linux&pcid=P&" + kReportTail,
                       "/status/404/ref=dm_ruq_later?os=linux&pcid=P&" + kReportTail,
                       "/nothing/ref=dm_ruq_unanswered?os=linux&" + kReportTail,
                       "/silent/ref=dm_ruq_silent?os=linux&" + kReportTail}),
              TheStore().server.Requests());
}

// The store's status line is its answer, whatever the body does after it: a report whose body
// breaks off is done, one whose body stalls is noted at once. A save that still holds a report the
// store answered since leaves the note when it lands; the next one, without it, empties it.
TEST(ReportService, AReportCountsAsAnsweredOnceTheStatusLineHasCome)
{
    TempDirectory folder;
    const std::string answered = folder.File("AnsweredReports");
    ReportService::HoldUntilSaved(answered);
    const auto saved = [] { return ReportService::ForSave({}).size(); };
    UseTexts({{"sonvel_url_report_service", Stand("/cut/100/")}});
    ReportService::Send("dm_ruq_cut", "", {});
    EXPECT_EQ(1u, saved());
    ReportService::SendSaved(true);
    EXPECT_TRUE(PollUntil([&] { return saved() == 0; })) << "answered, though the body broke off";
    ReportService::SendSaved(true);
    EXPECT_EQ("", ReadFile(answered));

    UseTexts({{"sonvel_url_report_service", Stand("/stall/1000/")}});
    ReportService::Send("dm_ruq_stalled", "", {});
    EXPECT_EQ(1u, saved());
    ReportService::SendSaved(true);
    ASSERT_TRUE(PollUntil([&] { return !ReadFile(answered).empty(); })) << "noted while the body stalls";
    EXPECT_EQ(1u, saved()) << "still under way";
    ReportService::SendSaved(true);
    EXPECT_NE("", ReadFile(answered));
}

// Cleared before any report was sent: the worker never starts, so nothing goes out.
TEST(ReportService, ClearedBeforeTheFirstReportSendsNothing)
{
    UseTexts({{"sonvel_url_report_service", Stand(kReportPath)}});
    ReportService::ClearPending();
    ReportService::Send(ReportService::DlOk, "B000X");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(TheStore().server.Requests().empty());
}

} // namespace
