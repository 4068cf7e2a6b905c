#include "core/data/CryptoUtility.h"

#include <openssl/bio.h>
#include <openssl/buffer.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

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

// One pass of DES-CBC over the whole of `in`. False when the cipher could not run. A failed
// final step of decryption (bad padding, a partial last block) only drops that tail.
bool RunCipher(bool encrypt, const std::string& in, std::string& out)
{
    if (in.size() > static_cast<size_t>(INT_MAX - EVP_MAX_BLOCK_LENGTH))
        return false;
    LoadCipherProviders();
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    std::vector<unsigned char> buffer(in.size() + EVP_MAX_BLOCK_LENGTH);
    int updateLength = 0;
    int finalLength = 0;
    if (!context ||
        EVP_CipherInit_ex(context.get(), EVP_des_cbc(), nullptr, CryptoUtility::Key, CryptoUtility::IV, encrypt) != 1 ||
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

bool Base64EncodeBytes(const void* data, int length, std::string& out)
{
    BIO* sink = BIO_new(BIO_s_mem());
    BioChain chain = Base64Over(sink);
    if (!chain)
        return false;
    if (length > 0 && BIO_write(chain.get(), data, length) != length)
        return false;
    if (BIO_flush(chain.get()) != 1)
        return false;
    BUF_MEM* memory = nullptr;
    BIO_get_mem_ptr(sink, &memory);
    if (!memory)
        return false;
    out.assign(memory->data, memory->length);
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
        if (Base64EncodeBytes(data, length, text)) {
            out.swap(text);
            return;
        }
    } catch (...) {
    }
    throw Base64EncodeException();
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
    std::string cipherText;
    EncryptString(text, cipherText);
    std::string encoded;
    Base64Encode(cipherText.data(), static_cast<int>(cipherText.size()), encoded);
    // A failed write shows in the file's error indicator, which the caller checks when it
    // closes the file.
    fwrite(encoded.data(), 1, encoded.size(), file);
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
