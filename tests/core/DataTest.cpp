// Values and their stored forms: text conversions, the queue-file codec, versions, settings.
#include "core/data/CryptoUtility.h"
#include "core/data/StringUtility.h"
#include "core/settings/Preferences.h"
#include "tests/support/LogSubscriber.h"
#include "tests/support/TempDirectory.h"

#include <boost/algorithm/string/replace.hpp>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <climits>

using Vantor::Data::CryptoUtility;
using Vantor::Settings::Preferences;
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

std::string Saved(Preferences& preferences)
{
    OpenFile file(std::tmpfile());
    EXPECT_TRUE(preferences.Save(file.get()));
    return ContentsOf(file.get());
}

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
