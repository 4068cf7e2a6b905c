#include "core/data/CryptoUtility.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

namespace Vantor::Data {

const unsigned char CryptoUtility::Key[8] = {0x5c, 0x1e, 0x93, 0xa0, 0x7b, 0x2d, 0xf4, 0x68};
const unsigned char CryptoUtility::IV[8] = {0xe2, 0x70, 0x4b, 0x9d, 0x13, 0xc6, 0xa8, 0x5f};

namespace {

typedef std::unique_ptr<BIO, decltype(&BIO_free_all)> BioChain;

// Single DES lives in OpenSSL's legacy provider. Loading a provider by hand switches off the
// implicit default one, which HTTPS needs, so both are loaded, once, before the first cipher
// call. They are unloaded at exit, before OpenSSL's own clean-up runs.
class CipherProviders {
public:
    CipherProviders() : legacy(OSSL_PROVIDER_load(nullptr, "legacy")), standard(OSSL_PROVIDER_load(nullptr, "default")) {}
    ~CipherProviders()
    {
        if (standard)
            OSSL_PROVIDER_unload(standard);
        if (legacy)
            OSSL_PROVIDER_unload(legacy);
    }
    CipherProviders(const CipherProviders&) = delete;
    CipherProviders& operator=(const CipherProviders&) = delete;

private:
    OSSL_PROVIDER* legacy;
    OSSL_PROVIDER* standard;
};

void LoadCipherProviders()
{
    static const CipherProviders providers;
}

// The base64 filter in its default, line-oriented mode, in front of `end`. Takes `end` over;
// an empty chain when either part could not be made.
BioChain Base64Over(BIO* end)
{
    BIO* filter = BIO_new(BIO_f_base64());
    if (!filter || !end) {
        BIO_free(filter);
        BIO_free(end);
        return BioChain(nullptr, BIO_free_all);
    }
    return BioChain(BIO_push(filter, end), BIO_free_all);
}

bool IsBase64Byte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=' || c == '\r' || c == '\n';
}

typedef std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> CipherContext;

// DES-CBC under Key and IV, ready for its first update; empty when it could not be set up.
CipherContext NewCipher(bool encrypt)
{
    LoadCipherProviders();
    CipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (context &&
        EVP_CipherInit_ex(context.get(), EVP_des_cbc(), nullptr, CryptoUtility::Key, CryptoUtility::IV, encrypt) != 1)
        context.reset();
    return context;
}

// One pass of DES-CBC over the whole of `in`. False when the cipher could not run. A failed
// final step of decryption (bad padding, a partial last block) only drops that tail.
bool RunCipher(bool encrypt, const std::string& in, std::string& out)
{
    if (in.size() > static_cast<size_t>(INT_MAX - EVP_MAX_BLOCK_LENGTH))
        return false;
    const CipherContext context = NewCipher(encrypt);
    std::vector<unsigned char> buffer(in.size() + EVP_MAX_BLOCK_LENGTH);
    int updateLength = 0;
    int finalLength = 0;
    if (!context ||
        EVP_CipherUpdate(context.get(), buffer.data(), &updateLength, reinterpret_cast<const unsigned char*>(in.data()),
                         static_cast<int>(in.size())) != 1)
        return false;
    if (EVP_CipherFinal_ex(context.get(), buffer.data() + updateLength, &finalLength) != 1) {
        if (encrypt)
            return false;
        finalLength = 0;
    }
    out.assign(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(updateLength + finalLength));
    return true;
}

// The base64 filter's output, written without it: each 48 bytes a line of 64 characters ended
// by a line feed, the rest a shorter last line. Appends to `out`.
void AppendBase64Lines(const unsigned char* data, size_t length, std::string& out)
{
    const size_t kLineBytes = 48;
    char line[65];
    for (size_t offset = 0; offset < length; offset += kLineBytes) {
        const size_t count = std::min(kLineBytes, length - offset);
        const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(line), data + offset, static_cast<int>(count));
        out.append(line, static_cast<size_t>(written));
        out += '\n';
    }
}

size_t Base64Length(size_t length)
{
    return (length + 2) / 3 * 4 + (length + 47) / 48;
}

// Encrypts `text` and writes its base64 lines into the file a piece at a time: the save of a
// large queue keeps no copy of the whole cipher text or its encoding. Each piece but the last
// is whole cipher blocks and whole base64 lines, so the pieces join up as one pass would.
bool WriteEncrypted(FILE* file, const std::string& text)
{
    const size_t kPiece = 48 * 1024;
    const CipherContext context = NewCipher(true);
    if (!context)
        return false;
    std::vector<unsigned char> cipherText(kPiece + EVP_MAX_BLOCK_LENGTH);
    std::string encoded;
    encoded.reserve(Base64Length(cipherText.size()));
    for (size_t offset = 0; offset < text.size(); offset += kPiece) {
        const size_t count = std::min(kPiece, text.size() - offset);
        const bool last = offset + count == text.size();
        int length = 0;
        int finalLength = 0;
        if (EVP_EncryptUpdate(context.get(), cipherText.data(), &length,
                              reinterpret_cast<const unsigned char*>(text.data() + offset), static_cast<int>(count)) != 1 ||
            (!last && static_cast<size_t>(length) != count) ||
            (last && EVP_EncryptFinal_ex(context.get(), cipherText.data() + length, &finalLength) != 1))
            return false;
        encoded.clear();
        AppendBase64Lines(cipherText.data(), static_cast<size_t>(length + finalLength), encoded);
        // A failed write shows in the file's error indicator, which the caller checks when it
        // closes the file.
        fwrite(encoded.data(), 1, encoded.size(), file);
    }
    return true;
}

bool Base64DecodeBytes(const char* data, int length, std::string& out)
{
    // The line-oriented decoder gives nothing for a last line without its line feed, which a
    // value loses when it is stored with trimmed white space: supply it.
    std::string text(data, static_cast<size_t>(length));
    if (text.back() != '\n')
        text += '\n';
    if (text.size() > static_cast<size_t>(INT_MAX))
        return false;
    BioChain chain = Base64Over(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
    if (!chain)
        return false;
    std::vector<char> buffer(text.size());
    size_t total = 0;
    while (total < buffer.size()) {
        const int count = BIO_read(chain.get(), buffer.data() + total, static_cast<int>(buffer.size() - total));
        if (count < 0)
            return false;
        if (count == 0)
            break;
        total += static_cast<size_t>(count);
    }
    out.assign(buffer.data(), total);
    return true;
}

} // namespace

bool CryptoUtility::IsValidBase64(const char* data, unsigned int length)
{
    if (!data || length == 0)
        return false;
    for (unsigned int i = 0; i < length; ++i) {
        if (!IsBase64Byte(static_cast<unsigned char>(data[i])))
            return false;
    }
    return true;
}

void CryptoUtility::Base64Encode(const void* data, int length, std::string& out)
{
    if (!data || length < 0)
        throw Base64EncodeException();
    try {
        std::string text;
        text.reserve(Base64Length(static_cast<size_t>(length)));
        AppendBase64Lines(static_cast<const unsigned char*>(data), static_cast<size_t>(length), text);
        out.swap(text);
    } catch (...) {
        throw Base64EncodeException();
    }
}

void CryptoUtility::Base64Decode(const void* data, int length, std::string& out)
{
    const char* text = static_cast<const char*>(data);
    if (length <= 0 || !IsValidBase64(text, static_cast<unsigned int>(length)))
        throw Base64DecodeException();
    try {
        std::string bytes;
        if (Base64DecodeBytes(text, length, bytes)) {
            out.swap(bytes);
            return;
        }
    } catch (...) {
    }
    throw Base64DecodeException();
}

template <>
void CryptoUtility::EncryptString<char>(const std::string& in, std::string& out)
{
    try {
        std::string cipherText;
        if (RunCipher(true, in, cipherText)) {
            out.swap(cipherText);
            return;
        }
    } catch (...) {
    }
    throw EncryptException();
}

template <>
void CryptoUtility::DecryptString<char>(const std::string& in, std::string& out)
{
    try {
        std::string plainText;
        if (RunCipher(false, in, plainText)) {
            out.swap(plainText);
            return;
        }
    } catch (...) {
    }
    throw DecryptException();
}

void CryptoUtility::EncryptVLXFile(FILE* file, const std::string& text)
{
    if (!file || text.empty())
        return;
    try {
        if (WriteEncrypted(file, text))
            return;
    } catch (...) {
    }
    throw EncryptException();
}

void CryptoUtility::DecryptVLXFile(FILE* file, std::string& out)
{
    if (!file || fseek(file, 0, SEEK_END) != 0)
        throw DecryptException();
    const long size = ftell(file);
    rewind(file);
    if (size < 0 || size > INT_MAX)
        throw DecryptException();
    if (size == 0)
        return;

    std::string encoded;
    try {
        encoded.resize(static_cast<size_t>(size));
    } catch (...) {
        throw DecryptException();
    }
    if (fread(&encoded[0], 1, encoded.size(), file) != encoded.size())
        throw DecryptException();

    std::string cipherText;
    Base64Decode(encoded.data(), static_cast<int>(encoded.size()), cipherText);
    DecryptString(cipherText, out);
}

} // namespace Vantor::Data
