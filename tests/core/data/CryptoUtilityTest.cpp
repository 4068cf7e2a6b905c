#include "core/data/CryptoUtility.h"
#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <string>
#include <vector>

using Vantor::Data::CryptoUtility;
using VantorTest::ContentsOf;
using VantorTest::TemporaryFileWith;

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

const std::vector<ReferenceVector> kReferenceVectors = {
    {"", "nTQT8AC/qf4=\n"},
    {"Vantor queue \xC3\xA9\xFF\x80 test: <playlist/>", "ylekaqnTiDemgVpOTjsAKdiUMP+wx+/kChMsDmz0LTylwndZwmCW8w==\n"},
    {"<?xml version=\"1.0\"?><playlist>\xE4\xF6\xFC \xC3\xA4</playlist>\n",
     "MqjvxkcQ5HRWhlQ8kPtCU0ZncrXcbtl/e3RPs+4gLKblXXAaw9iupdHKJyGy5pWK\n"
     "Cwj0EzsxrFo=\n"},
};

} // namespace

TEST(CryptoUtility, MatchesTheOpensslCommandLineInStringsAndQueueFiles)
{
    for (const ReferenceVector& vector : kReferenceVectors) {
        SCOPED_TRACE(vector.protectedText);
        EXPECT_EQ(vector.protectedText, Encode(Encrypt(vector.plain)));
        EXPECT_EQ(vector.plain, Decrypt(Decode(vector.protectedText)));
        // Also from a file written with CR LF line ends or without the last line end.
        std::string crlf;
        for (char c : vector.protectedText)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        for (const std::string& text : {vector.protectedText, crlf, vector.protectedText.substr(0, vector.protectedText.size() - 1)}) {
            std::string out;
            CryptoUtility::DecryptVLXFile(TemporaryFileWith(text).get(), out);
            EXPECT_EQ(vector.plain, out);
        }
    }
}

TEST(CryptoUtility, LeavesTheDefaultCiphersAvailable)
{
    Encrypt("x");
    // HTTPS needs the default provider's algorithms next to single DES.
    EVP_CIPHER* aes = EVP_CIPHER_fetch(nullptr, "AES-128-GCM", nullptr);
    EXPECT_NE(nullptr, aes);
    EVP_CIPHER_free(aes);
}

TEST(CryptoUtility, EveryLengthRoundTripsThroughCipherBase64AndQueueFile)
{
    for (size_t length : {0, 1, 7, 8, 9, 48, 49, 1000}) {
        SCOPED_TRACE(length);
        const std::string plain = Bytes(length);
        const std::string cipherText = Encrypt(plain);
        EXPECT_EQ((length / 8 + 1) * 8, cipherText.size());
        EXPECT_EQ(plain, Decrypt(cipherText));

        auto file = TemporaryFileWith("");
        CryptoUtility::EncryptVLXFile(file.get(), plain);
        EXPECT_EQ(length ? Encode(cipherText) : "", ContentsOf(file.get()));
        // The file position is at the end after writing: decryption starts from the start.
        std::string out;
        CryptoUtility::DecryptVLXFile(file.get(), out);
        EXPECT_EQ(plain, out);
    }
}

TEST(CryptoUtility, Base64WritesLinesOf64CharactersEachEndedByALineFeed)
{
    EXPECT_EQ("", Encode(""));
    for (size_t length = 1; length <= 200; ++length) {
        SCOPED_TRACE(length);
        const std::string text = Encode(Bytes(length));
        std::string joined, expected;
        for (char c : text)
            joined += c == '\n' ? "" : std::string(1, c);
        for (size_t start = 0; start < joined.size(); start += 64)
            expected += joined.substr(start, 64) + "\n";
        EXPECT_EQ(expected, text);
        EXPECT_EQ(Bytes(length), Decode(text));
    }
    EXPECT_EQ("==\n", Encode(Bytes(49)).substr(67));
}

TEST(CryptoUtility, RejectsBytesOutsideTheBase64AlphabetAndLeavesOutAlone)
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
        EXPECT_THROW(CryptoUtility::DecryptVLXFile(TemporaryFileWith(text).get(), out),
                     CryptoUtility::Base64DecodeException);
        EXPECT_EQ("untouched", out);
    }
    std::string out;
    EXPECT_THROW(CryptoUtility::Base64Decode(nullptr, 4, out), CryptoUtility::Base64DecodeException);
    EXPECT_THROW(CryptoUtility::Base64Decode("QUJD\n", 0, out), CryptoUtility::Base64DecodeException);
    EXPECT_THROW(CryptoUtility::Base64Decode("QUJD\n", -5, out), CryptoUtility::Base64DecodeException);
    EXPECT_THROW(CryptoUtility::Base64Encode(nullptr, 3, out), CryptoUtility::Base64EncodeException);
    EXPECT_THROW(CryptoUtility::DecryptVLXFile(nullptr, out), CryptoUtility::DecryptException);
}

TEST(CryptoUtility, MalformedBase64NeverThrowsAnythingElse)
{
    // Well-formed bytes in a broken arrangement: the decoder gives what it can, or the
    // decode exception, and nothing crashes.
    for (const std::string& text : std::vector<std::string>{"QUJ\n", "Q===\n", "=\n", "\n", "\r\n", "====", "QUJD====\n",
                                                            "QU=D\n", "QUJDRA==QUJD\n", "QUJD\n\n\nQUJD\n",
                                                            std::string(5000, '=')}) {
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
    EXPECT_EQ(plain.substr(0, 16), Decrypt(badPadding).substr(0, 16));
    // Cut inside the last block: the whole blocks before the cut; a whole number of blocks
    // without the padding block reads its last data block as bad padding.
    EXPECT_EQ(plain, Decrypt(cipherText.substr(0, 31)));
    EXPECT_EQ(plain.substr(0, 16), Decrypt(cipherText.substr(0, 20)));
    EXPECT_EQ(plain.substr(0, 16), Decrypt(cipherText.substr(0, 24)));
    EXPECT_EQ("", Decrypt(cipherText.substr(0, 7)));
}
