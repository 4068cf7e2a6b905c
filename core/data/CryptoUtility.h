#ifndef CORE_DATA_CRYPTOUTILITY_H
#define CORE_DATA_CRYPTOUTILITY_H

#include <cstdio>
#include <string>

namespace Vantor::Data {

// The protected form of queue files and of the stored proxy password: the base64 text, in
// lines of 64 characters each ended by a line feed, of the DES-CBC ciphertext (PKCS#5
// padding) of the plain text under the built-in key and IV. Static members only; any thread
// may call any of them.
class CryptoUtility {
public:
    class Base64EncodeException {};
    class Base64DecodeException {};
    class EncryptException {};
    class DecryptException {};

    static const unsigned char Key[8];
    static const unsigned char IV[8];

    // True when `length` is not 0 and every byte is a base64 character, "=", CR or LF.
    static bool IsValidBase64(const char* data, unsigned int length);

    // Replaces `out` with the base64 text of the bytes; an empty text for a length of 0.
    // Throws Base64EncodeException for null data or a negative length.
    static void Base64Encode(const void* data, int length, std::string& out);
    // Replaces `out` with the decoded bytes. Throws Base64DecodeException, leaving `out` as it
    // was, for null data, a length that is not positive, a byte that is not a base64
    // character, "=", CR or LF, or text the decoder rejects. A missing final line feed is
    // supplied.
    static void Base64Decode(const void* data, int length, std::string& out);

    // DES-CBC under Key and IV. Only the char form exists.
    template <typename T>
    static void EncryptString(const std::basic_string<T>& in, std::basic_string<T>& out);
    // A last block with invalid padding is dropped, as are trailing bytes short of a whole
    // block: `out` holds the plain text of the blocks before them. No exception for either.
    template <typename T>
    static void DecryptString(const std::basic_string<T>& in, std::basic_string<T>& out);

    // Writes the protected form of `text`; nothing for a null file or an empty text. The
    // file is neither flushed nor closed. Throws EncryptException, when part of the form may
    // already be written.
    static void EncryptVLXFile(FILE* file, const std::string& text);
    // Reads the whole file from its start; an empty file leaves `out` as it was. Throws
    // DecryptException (null or unreadable file) or Base64DecodeException (not base64).
    static void DecryptVLXFile(FILE* file, std::string& out);

    CryptoUtility() = delete;
};

template <>
void CryptoUtility::EncryptString<char>(const std::string& in, std::string& out);
template <>
void CryptoUtility::DecryptString<char>(const std::string& in, std::string& out);

} // namespace Vantor::Data

#endif
