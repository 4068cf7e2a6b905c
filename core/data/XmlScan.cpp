#include "core/data/XmlScan.h"

#include "core/data/StringUtility.h"

#include <cctype>
#include <cstring>

namespace Vantor::Data {

namespace {

// TinyXML's own reading steps, which it keeps to its classes: the scan takes each step as
// the parser takes it, so the two can't part ways.
struct Reading : TiXmlBase {
    using TiXmlBase::GetEntity;
    using TiXmlBase::IsAlpha;
    using TiXmlBase::IsWhiteSpace;
    using TiXmlBase::ReadName;
    using TiXmlBase::ReadText;
    using TiXmlBase::SkipWhiteSpace;
    using TiXmlBase::StringEqual;
};

const unsigned long kLastCodePoint = 0x10FFFF;

// Where TiXmlNode::Identify sees an element: '<' and a letter, '_' or any byte above ASCII.
// Declarations, comments, CDATA and the rest have '?' or '!' there.
bool StartsElement(const char* p, TiXmlEncoding encoding)
{
    return Reading::IsAlpha(static_cast<unsigned char>(p[1]), encoding) || p[1] == '_';
}

// The code of the numeric reference from `reference` to `after`, as far as it can be a
// character's: TinyXML takes the digits between the ';' and the nearest 'x' (or '#') before it.
unsigned long CodeOf(const char* reference, const char* after)
{
    const bool hex = reference[2] == 'x';
    const char* digit = after - 1;
    while (digit[-1] != (hex ? 'x' : '#'))
        --digit;
    unsigned long code = 0;
    for (; digit < after - 1 && code <= kLastCodePoint; ++digit) {
        const int c = std::tolower(static_cast<unsigned char>(*digit));
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    return code;
}

// A code that names no character (a surrogate, or beyond Unicode) stands for U+FFFD.
void AppendUTF8(std::string& text, unsigned long code)
{
    if ((code >= 0xD800 && code <= 0xDFFF) || code > kLastCodePoint)
        code = 0xFFFD;
    const int length = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    text += static_cast<char>(length == 1 ? code : kLead[length] | (code >> (6 * (length - 1))));
    for (int shift = 6 * (length - 2); shift >= 0; shift -= 6)
        text += static_cast<char>(0x80 | ((code >> shift) & 0x3F));
}

} // namespace

XmlScan::XmlScan(const std::string& text, TiXmlEncoding encoding, std::size_t maxNesting)
    : source(text), encoding(encoding), maxNesting(maxNesting)
{
    // TiXmlDocument::Parse: one node after another, until the text ends or holds no node.
    for (const char* p = Reading::SkipWhiteSpace(text.c_str(), encoding); p && *p == '<';
         p = Reading::SkipWhiteSpace(p, encoding))
        p = Node(p);
    if (copied > 0)
        expanded.append(source, copied, std::string::npos);
}

const std::string& XmlScan::Text() const
{
    return copied == 0 ? source : expanded;
}

// TiXmlNode::Identify, and the Parse of the node it makes.
const char* XmlScan::Node(const char* p)
{
    if (StartsElement(p, encoding))
        return Element(p);
    if (Reading::StringEqual(p, "<?xml", true, encoding))
        return Declaration(p);
    // A comment without its end runs to the end of the text; a CDATA section can't.
    if (Reading::StringEqual(p, "<!--", false, encoding)) {
        for (p += 4; *p && !Reading::StringEqual(p, "-->", false, encoding); ++p) {}
        return *p ? p + 3 : p;
    }
    if (Reading::StringEqual(p, "<![CDATA[", false, encoding)) {
        for (p += 9; *p && !Reading::StringEqual(p, "]]>", false, encoding); ++p) {}
        return *p && p[3] ? p + 3 : nullptr;
    }
    // Anything else, "<!DOCTYPE" and "<?other" too, ends at the first '>'.
    for (++p; *p && *p != '>'; ++p) {}
    return *p ? p + 1 : p;
}

// TiXmlElement::Parse and ReadValue, with the depth they recurse to kept in `open`.
const char* XmlScan::Element(const char* p)
{
    const std::size_t outer = open.size();
    for (;;) {
        if (open.size() >= maxNesting) {
            tooDeep = true;
            return nullptr;
        }
        p = StartTag(p);
        // The content of the innermost open element, and of each parent that an end tag
        // returns to, up to the next element's start tag.
        while (p && open.size() > outer) {
            const char* withWhiteSpace = p;
            p = Reading::SkipWhiteSpace(p, encoding);
            if (!p || !*p)
                return nullptr;
            if (*p != '<') {
                // A text runs up to the '<', which the parser then steps back onto.
                p = Value(TiXmlBase::IsWhiteSpaceCondensed() ? p : withWhiteSpace, true, "<");
                p = p ? p - 1 : nullptr;
            } else if (Reading::StringEqual(p, "</", false, encoding)) {
                p = EndTag(p);
            } else if (StartsElement(p, encoding)) {
                break;
            } else {
                p = Node(p);
            }
        }
        if (!p || open.size() == outer)
            return p;
    }
}

const char* XmlScan::StartTag(const char* p)
{
    std::string name;
    p = Reading::SkipWhiteSpace(p + 1, encoding);
    p = p ? Reading::ReadName(p, &name, encoding) : nullptr;
    while (p && *p) {
        p = Reading::SkipWhiteSpace(p, encoding);
        if (!p || !*p)
            return nullptr;
        if (*p == '/')
            return p[1] == '>' ? p + 2 : nullptr;
        if (*p == '>') {
            open.push_back("</" + name);
            return p + 1;
        }
        p = Attribute(p);
    }
    return nullptr;
}

const char* XmlScan::EndTag(const char* p)
{
    const std::string& tag = open.back();
    if (!Reading::StringEqual(p, tag.c_str(), false, encoding))
        return nullptr;
    p = Reading::SkipWhiteSpace(p + tag.size(), encoding);
    if (!p || *p != '>')
        return nullptr;
    open.pop_back();
    return p + 1;
}

// TiXmlAttribute::Parse.
const char* XmlScan::Attribute(const char* p)
{
    std::string name;
    p = Reading::SkipWhiteSpace(p, encoding);
    p = p && *p ? Reading::ReadName(p, &name, encoding) : nullptr;
    p = p && *p ? Reading::SkipWhiteSpace(p, encoding) : nullptr;
    if (!p || *p != '=')
        return nullptr;
    p = Reading::SkipWhiteSpace(p + 1, encoding);
    if (!p || !*p)
        return nullptr;
    if (*p == '"' || *p == '\'')
        return Value(p + 1, false, *p == '"' ? "\"" : "'");
    // A value without quotes ends at a blank, '/' or '>'; a quote in it is an error.
    for (; *p && !Reading::IsWhiteSpace(*p) && *p != '/' && *p != '>'; ++p)
        if (*p == '"' || *p == '\'')
            return nullptr;
    return p;
}

// TiXmlDeclaration::Parse: only its version, encoding and standalone are read as attributes,
// so only their quotes can hold a '>'.
const char* XmlScan::Declaration(const char* p)
{
    for (p += 5; p && *p;) {
        if (*p == '>')
            return p + 1;
        p = Reading::SkipWhiteSpace(p, encoding);
        if (p && *p && (Reading::StringEqual(p, "version", true, encoding) || Reading::StringEqual(p, "encoding", true, encoding) ||
                        Reading::StringEqual(p, "standalone", true, encoding)))
            p = Attribute(p);
        else
            while (p && *p && *p != '>' && !Reading::IsWhiteSpace(*p))
                ++p;
    }
    return nullptr;
}

// A text or a quoted attribute value: read as the parser reads it, up to `end`.
const char* XmlScan::Value(const char* p, bool trim, const char* end)
{
    std::string value;
    const char* after = Reading::ReadText(p, &value, trim, end, false, encoding);
    if (after && encoding == TIXML_ENCODING_LEGACY)
        Expand(p, after - std::strlen(end));
    return after;
}

void XmlScan::Expand(const char* begin, const char* end)
{
    // The references as the parser meets them, byte by byte.
    std::vector<std::pair<const char*, const char*>> references;
    for (const char* p = begin; p < end;) {
        if (*p != '&') {
            ++p;
            continue;
        }
        char ignored;
        int length;
        const char* after = Reading::GetEntity(p, &ignored, &length, encoding);
        if (p[1] == '#' && p[2] && CodeOf(p, after) >= 0x80)
            references.emplace_back(p, after);
        p = after;
    }
    if (references.empty())
        return;

    const bool utf8 = StringUtility::IsUTF8(std::string(begin, end));
    const auto appendBytes = [&](const char* from, const char* to) {
        const std::string bytes(from, to);
        expanded += utf8 ? bytes : StringUtility::Latin1toUTF8(bytes);
    };
    const char* start = source.c_str();
    expanded.append(source, copied, static_cast<std::string::size_type>(begin - start) - copied);
    const char* p = begin;
    for (const auto& reference : references) {
        appendBytes(p, reference.first);
        AppendUTF8(expanded, CodeOf(reference.first, reference.second));
        p = reference.second;
    }
    appendBytes(p, end);
    copied = static_cast<std::string::size_type>(end - start);
}

} // namespace Vantor::Data
