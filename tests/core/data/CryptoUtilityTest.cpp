#include "core/data/CryptoUtility.h"
#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <exception>
#include <string>
#include <type_traits>
#include <vector>

using Vantor::Data::CryptoUtility;
using VantorTest::TempDirectory;

static_assert(!std::is_base_of<std::exception, CryptoUtility::Base64EncodeException>::value &&
                  !std::is_base_of<std::exception, CryptoUtility::Base64DecodeException>::value &&
                  !std::is_base_of<std::exception, CryptoUtility::EncryptException>::value &&
                  !std::is_base_of<std::exception, CryptoUtility::DecryptException>::value,
              "the codec's exceptions are plain classes");

namespace {

// `length` bytes cycling through every value, the ones of 128 and above included.
std::string Bytes(size_t length)
{
    std::string bytes;
    for (size_t i = 0; i < length; ++i)
        bytes += static_cast<char>((i * 37 + 200) % 256);
    return bytes;
}

std::string Encode(const std::string& bytes)
{
    std::string out;
    CryptoUtility::Base64Encode(bytes.data(), static_cast<int>(bytes.size()), out);
    return out;
}

std::string Decode(const std::string& text)
{
    std::string out;
    CryptoUtility::Base64Decode(text.data(), static_cast<int>(text.size()), out);
    return out;
}

std::string Encrypt(const std::string& plain)
{
    std::string out;
    CryptoUtility::EncryptString(plain, out);
    return out;
}

std::string Decrypt(const std::string& cipherText)
{
    std::string out;
    CryptoUtility::DecryptString(cipherText, out);
    return out;
}

// The protected form of a text, as the openssl command line makes it:
//   openssl enc -des-cbc -K 5c1e93a07b2df468 -iv e2704b9d13c6a85f -provider legacy -provider default -base64
struct ReferenceVector {
    std::string plain;
    std::string protectedText;
};

const std::vector<ReferenceVector>& ReferenceVectors()
{
    static const std::vector<ReferenceVector> vectors = {
        {"", "nTQT8AC/qf4=\n"},
        {"Vantor queue \xC3\xA9\xFF\x80 test: <playlist/>",
         "ylekaqnTiDemgVpOTjsAKdiUMP+wx+/kChMsDmz0LTylwndZwmCW8w==\n"},
        {"<?xml version=\"1.0\"?><playlist>\xE4\xF6\xFC \xC3\xA4</playlist>\n",
         "MqjvxkcQ5HRWhlQ8kPtCU0ZncrXcbtl/e3RPs+4gLKblXXAaw9iupdHKJyGy5pWK\n"
         "Cwj0EzsxrFo=\n"},
    };
    return vectors;
}

// An open file in a temporary folder, closed at the end of the scope.
class ScratchFile {
public:
    ScratchFile(const std::string& contents, const char* mode = "w+b") : path(dir.File("queue.vlx"))
    {
        VantorTest::WriteFile(path, contents);
        file = fopen(path.c_str(), mode);
    }
    ~ScratchFile()
    {
        if (file)
            fclose(file);
    }
    FILE* Get() const { return file; }
    std::string Contents() const
    {
        fflush(file);
        return VantorTest::ReadFile(path);
    }

private:
    TempDirectory dir;
    std::string path;
    FILE* file = nullptr;
};

} // namespace

TEST(CryptoUtility, MatchesTheOpensslCommandLine)
{
    for (const ReferenceVector& vector : ReferenceVectors()) {
        SCOPED_TRACE(vector.protectedText);
        EXPECT_EQ(vector.protectedText, Encode(Encrypt(vector.plain)));
        EXPECT_EQ(vector.plain, Decrypt(Decode(vector.protectedText)));
    }
    EXPECT_EQ("744a71b19ee2fbf5661bef0f1901e106",
              [] {
                  std::string hex;
                  for (unsigned char c : Encrypt("12345678")) {
                      char digits[3];
                      snprintf(digits, sizeof digits, "%02x", c);
                      hex += digits;
                  }
                  return hex;
              }());
}

TEST(CryptoUtility, LeavesTheDefaultCiphersAvailable)
{
    Encrypt("x");
    // HTTPS needs the default provider's algorithms next to single DES.
    EVP_CIPHER* aes = EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr);
    EVP_MD* sha = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    EXPECT_NE(nullptr, aes);
    EXPECT_NE(nullptr, sha);
    EVP_CIPHER_free(aes);
    EVP_MD_free(sha);
}

TEST(CryptoUtility, CipherTextGrowsToTheNextWholeBlockAndComesBack)
{
    for (size_t length : {0, 1, 7, 8, 9, 48, 49, 1000}) {
        SCOPED_TRACE(length);
        const std::string plain = Bytes(length);
        const std::string cipherText = Encrypt(plain);
        EXPECT_EQ((length / 8 + 1) * 8, cipherText.size());
        EXPECT_EQ(plain, Decrypt(cipherText));
        EXPECT_EQ(plain, Decrypt(Decode(Encode(cipherText))));
    }
}

TEST(CryptoUtility, Base64RoundTripsEveryByteValue)
{
    for (size_t length : {1, 2, 3, 7, 8, 47, 48, 49, 256, 3000}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(Bytes(length), Decode(Encode(Bytes(length))));
    }
}

TEST(CryptoUtility, Base64WritesLinesOf64CharactersEachEndedByALineFeed)
{
    EXPECT_EQ("", Encode(""));
    const std::string one = Encode(Bytes(48));
    EXPECT_EQ(65u, one.size());
    EXPECT_EQ(64u, one.find('\n'));

    const std::string two = Encode(Bytes(49));
    ASSERT_EQ(70u, two.size());
    EXPECT_EQ('\n', two[64]);
    EXPECT_EQ("==\n", two.substr(67));

    for (size_t length = 1; length <= 200; ++length) {
        const std::string text = Encode(Bytes(length));
        SCOPED_TRACE(length);
        ASSERT_EQ('\n', text.back());
        EXPECT_EQ(std::string::npos, text.find('\r'));
        size_t start = 0;
        for (size_t end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start)) {
            const size_t lineLength = end - start;
            if (end + 1 == text.size())
                EXPECT_TRUE(lineLength > 0 && lineLength <= 64 && lineLength % 4 == 0) << lineLength;
            else
                EXPECT_EQ(64u, lineLength);
        }
    }
}

TEST(CryptoUtility, IsValidBase64AcceptsTheAlphabetOnly)
{
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\r\n";
    EXPECT_TRUE(CryptoUtility::IsValidBase64(alphabet.data(), static_cast<unsigned>(alphabet.size())));
    EXPECT_TRUE(CryptoUtility::IsValidBase64("=", 1));
    EXPECT_FALSE(CryptoUtility::IsValidBase64(nullptr, 4));
    EXPECT_FALSE(CryptoUtility::IsValidBase64("QUJD", 0));
    // Only `length` bytes count.
    EXPECT_TRUE(CryptoUtility::IsValidBase64("QUJD <", 4));

    int accepted = 0;
    for (int value = 0; value < 256; ++value) {
        const char byte = static_cast<char>(value);
        accepted += CryptoUtility::IsValidBase64(&byte, 1) ? 1 : 0;
    }
    EXPECT_EQ(67, accepted);
}

TEST(CryptoUtility, Base64DecodeRejectsBytesOutsideTheAlphabetAndLeavesOutAlone)
{
    const std::vector<std::string> texts = {
        "QUJD \n", " QUJD\n", "QU\tJD\n", "QUJD<\n", std::string("QU\0JD\n", 6), "QUJD\x80\n", "QUJD\xFF\n",
        "QUJD\n\xC3\xA9", "-_==\n",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        std::string out = "untouched";
        EXPECT_THROW(CryptoUtility::Base64Decode(text.data(), static_cast<int>(text.size()), out),
                     CryptoUtility::Base64DecodeException);
        EXPECT_EQ("untouched", out);
    }
    std::string out = "untouched";
    EXPECT_THROW(CryptoUtility::Base64Decode(nullptr, 4, out), CryptoUtility::Base64DecodeException);
    EXPECT_THROW(CryptoUtility::Base64Decode("QUJD\n", 0, out), CryptoUtility::Base64DecodeException);
    EXPECT_THROW(CryptoUtility::Base64Decode("QUJD\n", -5, out), CryptoUtility::Base64DecodeException);
    EXPECT_EQ("untouched", out);

    EXPECT_THROW(CryptoUtility::Base64Encode(nullptr, 3, out), CryptoUtility::Base64EncodeException);
    EXPECT_THROW(CryptoUtility::Base64Encode("abc", -1, out), CryptoUtility::Base64EncodeException);
    EXPECT_EQ("untouched", out);
}

TEST(CryptoUtility, Base64DecodeReadsOtherLineEndings)
{
    const std::string bytes = Bytes(120);
    const std::string text = Encode(bytes);
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(bytes, Decode(crlf));
    // A value that lost its final line feed on the way through another format.
    EXPECT_EQ(bytes, Decode(text.substr(0, text.size() - 1)));
    EXPECT_EQ("ABC", Decode("QUJD"));
}

TEST(CryptoUtility, MalformedBase64NeverThrowsAnythingElse)
{
    // Well-formed bytes in a broken arrangement: the decoder gives what it can, or the
    // decode exception, and nothing crashes.
    for (const std::string& text : std::vector<std::string>{"QUJ\n", "Q===\n", "=\n", "\n", "\r\n", "====", "QUJD====\n", "QU=D\n",
                                   "QUJDRA==QUJD\n", "QUJD\n\n\nQUJD\n", std::string(5000, '=')}) {
        SCOPED_TRACE(text);
        std::string out;
        try {
            CryptoUtility::Base64Decode(text.data(), static_cast<int>(text.size()), out);
            EXPECT_LE(out.size(), text.size());
            CryptoUtility::DecryptString(out, out);
        } catch (CryptoUtility::Base64DecodeException&) {
        }
    }
}

TEST(CryptoUtility, DecryptKeepsTheWholeBlocksBeforeABadEnd)
{
    const std::string plain = Bytes(24);
    const std::string cipherText = Encrypt(plain);
    ASSERT_EQ(32u, cipherText.size());

    // Last block's padding broken: the blocks before it.
    std::string badPadding = cipherText;
    badPadding[23] = static_cast<char>(badPadding[23] ^ 0x01);
    EXPECT_EQ(24u, Decrypt(badPadding).size());
    EXPECT_EQ(plain.substr(0, 16), Decrypt(badPadding).substr(0, 16));
    // Cut inside the last block: the whole blocks before the cut.
    EXPECT_EQ(plain, Decrypt(cipherText.substr(0, 31)));
    EXPECT_EQ(plain.substr(0, 16), Decrypt(cipherText.substr(0, 23)));
    EXPECT_EQ(plain.substr(0, 16), Decrypt(cipherText.substr(0, 20)));
    // A whole number of blocks without the padding block: the last data block reads as bad padding.
    EXPECT_EQ(plain.substr(0, 16), Decrypt(cipherText.substr(0, 24)));
    EXPECT_EQ("", Decrypt(cipherText.substr(0, 7)));
    EXPECT_EQ("", Decrypt(""));
}

TEST(CryptoUtility, QueueFileRoundTrip)
{
    for (size_t length : {1, 7, 8, 48, 49, 5000}) {
        SCOPED_TRACE(length);
        const std::string plain = Bytes(length);
        ScratchFile file("");
        ASSERT_TRUE(file.Get());
        CryptoUtility::EncryptVLXFile(file.Get(), plain);
        EXPECT_EQ(Encode(Encrypt(plain)), file.Contents());
        // The file position is at the end after writing: decryption starts from the start.
        std::string out;
        CryptoUtility::DecryptVLXFile(file.Get(), out);
        EXPECT_EQ(plain, out);
    }
    for (const ReferenceVector& vector : ReferenceVectors()) {
        ScratchFile file(vector.protectedText, "rb");
        std::string out = "untouched";
        CryptoUtility::DecryptVLXFile(file.Get(), out);
        EXPECT_EQ(vector.plain, out);
    }
}

TEST(CryptoUtility, QueueFileEdgeCases)
{
    {
        ScratchFile file("");
        CryptoUtility::EncryptVLXFile(file.Get(), "");
        CryptoUtility::EncryptVLXFile(nullptr, "text");
        EXPECT_EQ("", file.Contents());
        std::string out = "untouched";
        CryptoUtility::DecryptVLXFile(file.Get(), out);
        EXPECT_EQ("untouched", out);
    }
    std::string out;
    EXPECT_THROW(CryptoUtility::DecryptVLXFile(nullptr, out), CryptoUtility::DecryptException);
    {
        // Opened for writing only: the read comes back short.
        ScratchFile file(ReferenceVectors()[1].protectedText, "ab");
        EXPECT_THROW(CryptoUtility::DecryptVLXFile(file.Get(), out), CryptoUtility::DecryptException);
    }
    {
        ScratchFile file("<?xml version=\"1.0\"?>\n<playlist/>\n", "rb");
        EXPECT_THROW(CryptoUtility::DecryptVLXFile(file.Get(), out), CryptoUtility::Base64DecodeException);
    }
    {
        ScratchFile file(ReferenceVectors()[2].protectedText + " ", "rb");
        EXPECT_THROW(CryptoUtility::DecryptVLXFile(file.Get(), out), CryptoUtility::Base64DecodeException);
    }
    {
        std::string crlf = ReferenceVectors()[2].protectedText;
        crlf.replace(crlf.find('\n'), 1, "\r\n");
        crlf.replace(crlf.rfind('\n'), 1, "\r\n");
        ScratchFile file(crlf, "rb");
        CryptoUtility::DecryptVLXFile(file.Get(), out);
        EXPECT_EQ(ReferenceVectors()[2].plain, out);
    }
}
