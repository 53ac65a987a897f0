#include "platform/text_decoding.h"

#include <gtest/gtest.h>

namespace {

using platform::FILE_ENCODING_ANSI;
using platform::FILE_ENCODING_UTF8;

struct EncodingCase {
    const char *name;
    std::string bytes;
    platform::FileEncoding expected;
};

class ConfigEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(ConfigEncoding, UsesUtf8OnlyWhenTheBytesSaySo) {
    EXPECT_EQ(platform::configFileEncoding(GetParam().bytes), GetParam().expected)
        << GetParam().name;
}

/* std::string(literal, length) keeps the NULs of a row. */
INSTANTIATE_TEST_SUITE_P(
    Rule, ConfigEncoding,
    ::testing::Values(
        EncodingCase{"empty", "", FILE_ENCODING_UTF8},
        EncodingCase{"ascii", "argument hello\n", FILE_ENCODING_UTF8},
        EncodingCase{"ascii_with_nul", std::string("argument a\0b\n", 13), FILE_ENCODING_UTF8},
        EncodingCase{"utf8_latin", "argument Zo\xC3\xAB\n", FILE_ENCODING_UTF8},
        EncodingCase{"utf8_cjk_and_4_bytes", "argument \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\n",
                     FILE_ENCODING_UTF8},
        EncodingCase{"bom_then_utf8", "\xEF\xBB\xBF" "argument Zo\xC3\xAB\n", FILE_ENCODING_UTF8},
        EncodingCase{"bom_then_windows_1252", "\xEF\xBB\xBF" "argument Zo\xEB\n",
                     FILE_ENCODING_UTF8},
        EncodingCase{"windows_1252", "argument Zo\xEB\n", FILE_ENCODING_ANSI},
        EncodingCase{"windows_1252_at_the_end", "argument Zo\xEB", FILE_ENCODING_ANSI},
        EncodingCase{"windows_1252_two_letters", "argument \xC4\xE9t\xE9\n", FILE_ENCODING_ANSI},
        EncodingCase{"cut_sequence", "argument \xE6\x97\n", FILE_ENCODING_ANSI},
        EncodingCase{"overlong_slash", "argument \xC0\xAF\n", FILE_ENCODING_ANSI},
        EncodingCase{"surrogate_half", "argument \xED\xA0\x80\n", FILE_ENCODING_ANSI},
        EncodingCase{"above_u10ffff", "argument \xF4\x90\x80\x80\n", FILE_ENCODING_ANSI}),
    [](const ::testing::TestParamInfo<EncodingCase> &info) { return info.param.name; });

struct TextModeCase {
    const char *name;
    std::string bytes;
    std::string expected;
};

class TextMode : public ::testing::TestWithParam<TextModeCase> {};

TEST_P(TextMode, ReadsAsTheCRuntimeDid) {
    EXPECT_EQ(platform::textModeContent(GetParam().bytes), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TextMode,
    ::testing::Values(
        TextModeCase{"crlf", "a b\r\nc d\r\n", "a b\nc d\n"},
        TextModeCase{"lone_cr_stays", "a\rb\r\r\nc\r", "a\rb\r\nc\r"},
        TextModeCase{"ctrl_z_ends_the_text", "a b\r\n\x1A" "c d\r\n", "a b\n"},
        TextModeCase{"cr_before_ctrl_z", "a b\r\x1A\n", "a b\r"},
        TextModeCase{"nul_stays", std::string("a\0b\r\nc", 6), std::string("a\0b\nc", 5)}),
    [](const ::testing::TestParamInfo<TextModeCase> &info) { return info.param.name; });

} // namespace
