#include "core/data/StringUtility.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using Vantor::Data::StringUtility;

// Only the first character decides: text that begins in ASCII or in a well-formed UTF-8
// sequence is kept as it is, anything else is read as Latin-1.
TEST(StringUtility, MakeUTF8AndMakeOSDecideOnTheFirstCharacter)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"abc\xE9", "abc\xE9"},
        {"\xC3\xA9t\xE9", "\xC3\xA9t\xE9"},
        {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"},
        {"\xC9t", "\xC3\x89t"},
        {"\xFF\xC3\xA9", "\xC3\xBF\xC3\x83\xC2\xA9"},
        // Overlong lead, surrogate range, a sequence cut by the end, a 5-byte lead.
        {"\xC0\x80", "\xC3\x80\xC2\x80"},
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
        {"\xE2\x82", "\xC3\xA2\xC2\x82"},
        {"\xF8\x88", "\xC3\xB8\xC2\x88"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, StringUtility::MakeUTF8(c.first)) << c.first;
        EXPECT_EQ(c.second, StringUtility::MakeOS(c.first)) << c.first;
    }
}

TEST(StringUtility, IsNumericAcceptsOnlyNonEmptyDigitStrings)
{
    EXPECT_TRUE(StringUtility::IsNumeric("007"));
    for (const char* text : {"", "-7", "7.0", " 7"})
        EXPECT_FALSE(StringUtility::IsNumeric(text)) << text;
}

TEST(StringUtility, UTF16toUTF8ConvertsSurrogatePairsAndKeepsLoneOnesReadable)
{
    EXPECT_EQ("", StringUtility::UTF16toUTF8(L""));
    EXPECT_EQ("a\xC3\xA9\xE2\x82\xAC", StringUtility::UTF16toUTF8(L"a\u00E9\u20AC"));
    EXPECT_EQ("\xF0\x9F\x8E\xB5", StringUtility::UTF16toUTF8({wchar_t(0xD83C), wchar_t(0xDFB5)}));
    EXPECT_EQ("string conversion failed", StringUtility::UTF16toUTF8({L'a', wchar_t(0xD83C)}));
    EXPECT_EQ("a\xED\xB0\x80" "b", StringUtility::UTF16toUTF8({L'a', wchar_t(0xDC00), L'b'}));
    EXPECT_EQ("\xED\xA0\x80" "b", StringUtility::UTF16toUTF8({wchar_t(0xD800), L'b'}));
}
