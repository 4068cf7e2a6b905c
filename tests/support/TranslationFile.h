#ifndef TESTS_SUPPORT_TRANSLATIONFILE_H
#define TESTS_SUPPORT_TRANSLATIONFILE_H

#include <map>
#include <string>

namespace VantorTest {

// Writes a translation file for the locale `name` with the given key/text pairs, so a test
// can point the store's addresses at its own servers or check translated texts.
void WriteTranslationFile(const std::string& path, const std::string& name,
                          const std::map<std::string, std::string>& texts);

} // namespace VantorTest

#endif
