#ifndef DOWNLOADER_MODEL_VLXTOPLAINTEXT_H
#define DOWNLOADER_MODEL_VLXTOPLAINTEXT_H

#include <cstdio>
#include <string>

// Fills `text` with the XML of a queue file, read from its start. A file whose first 255
// bytes hold "<playlist" is taken as plain XML; any other file as the encrypted form, which
// is decrypted. Throws what Vantor::Data::CryptoUtility::DecryptVLXFile throws.
void VLXToPlainText(FILE* file, std::string& text);

#endif
