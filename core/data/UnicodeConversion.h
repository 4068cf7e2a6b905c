#ifndef CORE_DATA_UNICODECONVERSION_H
#define CORE_DATA_UNICODECONVERSION_H

#include <cstdint>

namespace Vantor::Data {

typedef std::uint16_t UTF16;
typedef std::uint8_t UTF8;

enum ConversionResult {
    conversionOK = 0,    // conversion complete
    sourceExhausted = 1, // the source ended inside a character
    targetExhausted = 2, // no room in the target for the next character
    sourceIllegal = 3    // the source holds an illegal sequence
};

enum ConversionFlags { strictConversion = 0, lenientConversion = 1 };

// Converts UTF-16 units to UTF-8 bytes. Both positions are advanced past what was converted;
// on failure they are left on the unit that could not be converted.
ConversionResult ConvertUTF16toUTF8(const UTF16** sourceStart, const UTF16* sourceEnd,
                                    UTF8** targetStart, UTF8* targetEnd, ConversionFlags flags);

// The length in bytes of the well-formed UTF-8 sequence that begins at `source` and ends at or
// before `sourceEnd`; 0 when the sequence there is not well-formed or runs past the end.
int LegalUTF8SequenceLength(const UTF8* source, const UTF8* sourceEnd);

// True when the one sequence that begins at `source` is well-formed UTF-8 and ends at or
// before `sourceEnd`.
bool isLegalUTF8Sequence(const UTF8* source, const UTF8* sourceEnd);

} // namespace Vantor::Data

#endif
