#ifndef CORE_DATA_XMLSCAN_H
#define CORE_DATA_XMLSCAN_H

#include <tinyxml.h>

#include <cstddef>
#include <string>
#include <vector>

namespace Vantor::Data {

// Reads a text the way TinyXML's parser will, step by step with the parser's own reading
// functions, but builds nothing, so that the text can be judged and mended before the parser
// sees it. The scan goes as far as the parser would: where the parser gives up, so does it.
//
// TinyXML reads each element by a recursive call, and deletes it by one: how deep the
// elements nest, not how long the text is, decides how much stack either needs. The scan
// counts that depth with a plain counter, so a text whose elements nest deeper than any
// document of ours can be refused before the parser runs out of stack.
//
// Read byte by byte (TIXML_ENCODING_LEGACY), TinyXML turns a character reference into one
// byte, the code's lowest: "&#x4E2D;" becomes "-". So in that reading the scan expands each
// reference to a character above ASCII in UTF-8 itself. Such a value is then UTF-8 as a whole:
// its other bytes are kept when they are UTF-8 throughout and read as Latin-1 otherwise, as
// the readers of a value judge it. Values without such a reference keep their bytes. (Read as
// UTF-8, TinyXML expands references in UTF-8 itself.)
class XmlScan {
public:
    // `text` ends with the NULs that stop the parser; `encoding` is the one it will read in.
    XmlScan(const std::string& text, TiXmlEncoding encoding, std::size_t maxNesting);

    // Elements nest deeper than `maxNesting` before the parser would stop.
    bool TooDeep() const { return tooDeep; }
    // The text to hand to the parser: `text`, its references expanded as above; `text` itself
    // when there were none. Valid as long as the scan and `text` are.
    const std::string& Text() const;

private:
    const char* Node(const char* p);
    const char* Element(const char* p);
    const char* StartTag(const char* p);
    const char* EndTag(const char* p);
    const char* Attribute(const char* p);
    const char* Declaration(const char* p);
    const char* Value(const char* p, bool trim, const char* end);
    void Expand(const char* begin, const char* end);

    const std::string& source;
    const TiXmlEncoding encoding;
    const std::size_t maxNesting;
    bool tooDeep = false;
    // The end tag each open element waits for, innermost last.
    std::vector<std::string> open;
    // The text with its references expanded, once the scan has made a change: up to `copied`
    // while it runs, the whole text after.
    std::string expanded;
    std::string::size_type copied = 0;
};

} // namespace Vantor::Data

#endif
