#ifndef CORE_DATA_PARSEXMLTEXT_H
#define CORE_DATA_PARSEXMLTEXT_H

#include <tinyxml.h>

#include <string>

namespace Vantor::Data {

// Parses `text` into `document` without letting the parser read past the text's end. TinyXML
// takes a UTF-8 lead byte's announced length on trust and steps over a NUL inside that length,
// on into whatever memory follows the text; so the text ends at its first NUL, where the parser
// would end it, and three more NULs (the most a lead byte announces) keep every step inside it.
// For every text from outside: queue files, the update check's answer, translation files.
void ParseXmlText(TiXmlDocument& document, std::string text, TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING);

// Parses a document whose values may each be UTF-8 or not (a queue file holds the store's values
// as they came, Latin-1 ones too), so that every value comes out with its bytes as they stand in
// the text, entities decoded, for its reader to judge as a whole. TinyXML reading UTF-8 takes a
// byte that is not UTF-8 for the lead byte of a longer character and swallows the bytes after
// it, entities and markup included; so a text that is not UTF-8 throughout is read byte by byte.
// A text that is UTF-8 throughout is read as UTF-8, as ParseXmlText reads it.
void ParseXmlTextKeepingBytes(TiXmlDocument& document, const std::string& text);

} // namespace Vantor::Data

#endif
