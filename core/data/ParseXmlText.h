#ifndef CORE_DATA_PARSEXMLTEXT_H
#define CORE_DATA_PARSEXMLTEXT_H

#include <tinyxml.h>

#include <string>

namespace Vantor::Data {

// Parses `text` into `document`. For every text from outside: queue files, the settings, the
// update check's answer, translation files.
//
// A text that is UTF-8 throughout is read as UTF-8. Any other is read byte by byte: TinyXML
// reading UTF-8 takes a byte that is not UTF-8 for the lead byte of a longer character and
// swallows the bytes after it, entities and markup included. Each value then comes out with
// its bytes as they stand in the text, entities decoded, for its reader to judge as a whole
// (a queue file holds the store's values as they came, Latin-1 ones too); a reference to a
// character above ASCII comes out as that character in UTF-8 (see XmlScan).
//
// A text whose elements nest deeper than any document of ours is refused, as a parse error,
// before the parser (which recurses once per level) can run out of stack.
void ParseXmlText(TiXmlDocument& document, std::string text);

} // namespace Vantor::Data

#endif
