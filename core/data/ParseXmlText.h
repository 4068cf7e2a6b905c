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

} // namespace Vantor::Data

#endif
