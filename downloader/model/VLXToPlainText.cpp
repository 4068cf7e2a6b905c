#include "downloader/model/VLXToPlainText.h"

#include "core/data/CryptoUtility.h"

#include <cstring>
#include <vector>

namespace {

const size_t kSniffLength = 255;

// The whole file from its start; empty when its size can't be told.
std::string ReadWhole(FILE* file)
{
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::rewind(file);
    if (size <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(size));
    const size_t read = std::fread(buffer.data(), 1, buffer.size(), file);
    return std::string(buffer.data(), read);
}

} // namespace

void VLXToPlainText(FILE* file, std::string& text)
{
    if (!file) throw Vantor::Data::CryptoUtility::DecryptException();

    // The plain form is told by its root element near the start; a NUL byte ends the search.
    char head[kSniffLength + 1] = {};
    const size_t read = std::fread(head, 1, kSniffLength, file);
    head[read] = '\0';
    std::rewind(file);

    if (std::strstr(head, "<playlist"))
        text = ReadWhole(file);
    else
        Vantor::Data::CryptoUtility::DecryptVLXFile(file, text);
}
