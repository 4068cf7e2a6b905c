#include "core/data/StringUtility.h"

#include <gtest/gtest.h>

using Vantor::Data::StringUtility;

TEST(MakeUTF8, KeepsTextWhoseFirstCharacterIsAscii)
{
    const std::string text = "abc\xE9";
    EXPECT_EQ(text, StringUtility::MakeUTF8(text));
}

TEST(MakeUTF8, ConvertsLatin1TextWhoseFirstByteIsNotUTF8)
{
    EXPECT_EQ("\xC3\x89t", StringUtility::MakeUTF8("\xC9t"));
    // Later UTF-8 is converted too: only the first character decides.

    EXPECT_EQ(StringUtility::Latin1toUTF8("\xFF\xC3\xA9"), StringUtility::MakeUTF8("\xFF\xC3\xA9"));
}

TEST(MakeUTF8, KeepsTextThatStartsWithUTF8)
{
    EXPECT_EQ("\xC3\xA9t\xE9", StringUtility::MakeUTF8("\xC3\xA9t\xE9"));
    EXPECT_EQ("\xF0\x9F\x8E\xB5", StringUtility::MakeUTF8("\xF0\x9F\x8E\xB5"));
}

TEST(MakeUTF8, ConvertsMalformedAndCutSequences)
{
    // Overlong lead, surrogate range, a sequence cut by the end, a 5-byte lead.
    for (const std::string& text : {std::string("\xC0\x80"), std::string("\xED\xA0\x80"),
                                    std::string("\xE2\x82"), std::string("\xF8\x88\x80\x80\x80")}) {
        EXPECT_EQ(StringUtility::Latin1toUTF8(text), StringUtility::MakeUTF8(text));
        EXPECT_EQ(StringUtility::Latin1toUTF8(text), StringUtility::MakeOS(text));
    }
}

TEST(MakeUTF8, EmptyTextStaysEmpty)
{
    EXPECT_EQ("", StringUtility::MakeUTF8(""));
    EXPECT_EQ("", StringUtility::MakeOS(""));
}

TEST(Latin1toUTF8, MapsHighBytesToTwoByteSequences)
{
    EXPECT_EQ("\xC3\xBF", StringUtility::Latin1toUTF8("\xFF"));
    EXPECT_EQ("\xC2\x80", StringUtility::Latin1toUTF8("\x80"));
    EXPECT_EQ("plain", StringUtility::Latin1toUTF8("plain"));
    EXPECT_EQ("", StringUtility::Latin1toUTF8(""));
}

TEST(IsNumeric, AcceptsOnlyNonEmptyDigitStrings)
{
    EXPECT_FALSE(StringUtility::IsNumeric(""));
    EXPECT_TRUE(StringUtility::IsNumeric("007"));
    EXPECT_FALSE(StringUtility::IsNumeric("-7"));
    EXPECT_FALSE(StringUtility::IsNumeric("7.0"));
    EXPECT_FALSE(StringUtility::IsNumeric(" 7"));
}

TEST(UTF16toUTF8, ConvertsBasicPlaneAndSurrogatePairs)
{
    EXPECT_EQ("a\xC3\xA9\xE2\x82\xAC", StringUtility::UTF16toUTF8(L"a\u00E9\u20AC"));
    const std::wstring pair = {wchar_t(0xD83C), wchar_t(0xDFB5)};
    EXPECT_EQ("\xF0\x9F\x8E\xB5", StringUtility::UTF16toUTF8(pair));
}

TEST(UTF16toUTF8, LoneSurrogates)
{
    const std::wstring trailingHigh = {L'a', wchar_t(0xD83C)};
    EXPECT_EQ("string conversion failed", StringUtility::UTF16toUTF8(trailingHigh));
    const std::wstring lowInMiddle = {L'a', wchar_t(0xDC00), L'b'};
    EXPECT_EQ("a\xED\xB0\x80" "b", StringUtility::UTF16toUTF8(lowInMiddle));
    const std::wstring highThenLetter = {wchar_t(0xD800), L'b'};
    EXPECT_EQ("\xED\xA0\x80" "b", StringUtility::UTF16toUTF8(highThenLetter));
}

TEST(UTF16toUTF8, EmptyText)
{
    EXPECT_EQ("", StringUtility::UTF16toUTF8(L""));
}
