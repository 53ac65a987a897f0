#include "platform/text_decoding.h"

#include <gtest/gtest.h>

namespace {

using platform::FILE_ENCODING_ANSI;
using platform::FILE_ENCODING_UTF16_BE;
using platform::FILE_ENCODING_UTF16_LE;
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
        EncodingCase{"bom_then_utf8",
                     "\xEF\xBB\xBF"
                     "argument Zo\xC3\xAB\n",
                     FILE_ENCODING_UTF8},
        EncodingCase{"bom_then_windows_1252",
                     "\xEF\xBB\xBF"
                     "argument Zo\xEB\n",
                     FILE_ENCODING_UTF8},
        EncodingCase{"windows_1252", "argument Zo\xEB\n", FILE_ENCODING_ANSI},
        EncodingCase{"windows_1252_at_the_end", "argument Zo\xEB", FILE_ENCODING_ANSI},
        EncodingCase{"windows_1252_two_letters", "argument \xC4\xE9t\xE9\n", FILE_ENCODING_ANSI},
        EncodingCase{"cut_sequence", "argument \xE6\x97\n", FILE_ENCODING_ANSI},
        EncodingCase{"overlong_slash", "argument \xC0\xAF\n", FILE_ENCODING_ANSI},
        EncodingCase{"overlong_slash_3_bytes", "argument \xE0\x80\xAF\n", FILE_ENCODING_ANSI},
        EncodingCase{"overlong_slash_4_bytes", "argument \xF0\x80\x80\xAF\n", FILE_ENCODING_ANSI},
        EncodingCase{"utf16_le",
                     std::string("\xFF\xFE"
                                 "a\0",
                                 4),
                     FILE_ENCODING_UTF16_LE},
        EncodingCase{"utf16_be", std::string("\xFE\xFF\0a", 4), FILE_ENCODING_UTF16_BE},
        EncodingCase{"surrogate_half", "argument \xED\xA0\x80\n", FILE_ENCODING_ANSI},
        EncodingCase{"above_u10ffff", "argument \xF4\x90\x80\x80\n", FILE_ENCODING_ANSI}),
    [](const ::testing::TestParamInfo<EncodingCase> &info) { return info.param.name; });

struct Utf16Case {
    const char *name;
    std::string bytes;
    platform::FileEncoding encoding;
    std::string expected;
};

class Utf16Text : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16Text, DecodesToUtf8Lines) {
    EXPECT_EQ(platform::utf16FileText(GetParam().bytes, GetParam().encoding), GetParam().expected)
        << GetParam().name;
}

/* Each pair of bytes is one UTF-16 unit, as its byte-order mark orders it. */
INSTANTIATE_TEST_SUITE_P(
    Rules, Utf16Text,
    ::testing::Values(Utf16Case{"le_lines",
                                std::string("\xFF\xFE"
                                            "a\0 \0\xEB\0\r\0\n\0\xE5\x65",
                                            14),
                                FILE_ENCODING_UTF16_LE, "a \xC3\xAB\n\xE6\x97\xA5"},
                      Utf16Case{"be_pair", std::string("\xFE\xFF\xD8\x3D\xDE\x00\0\r", 8),
                                FILE_ENCODING_UTF16_BE, "\xF0\x9F\x98\x80\r"},
                      Utf16Case{"lone_surrogates",
                                std::string("\xFF\xFE\x00\xDC"
                                            "a\0\x00\xD8",
                                            8),
                                FILE_ENCODING_UTF16_LE,
                                "\xEF\xBF\xBD"
                                "a\xEF\xBF\xBD"},
                      Utf16Case{"two_high_surrogates", std::string("\xFF\xFE\x00\xD8\x00\xD8", 6),
                                FILE_ENCODING_UTF16_LE, "\xEF\xBF\xBD\xEF\xBF\xBD"},
                      Utf16Case{"odd_last_byte",
                                std::string("\xFF\xFE"
                                            "a\0b",
                                            5),
                                FILE_ENCODING_UTF16_LE, "a"},
                      Utf16Case{"nul_and_ctrl_z_stay", std::string("\xFF\xFE\0\0\x1A\0", 6),
                                FILE_ENCODING_UTF16_LE, std::string("\0\x1A", 2)}),
    [](const ::testing::TestParamInfo<Utf16Case> &info) { return info.param.name; });

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
    ::testing::Values(TextModeCase{"crlf", "a b\r\nc d\r\n", "a b\nc d\n"},
                      TextModeCase{"lone_cr_stays", "a\rb\r\r\nc\r", "a\rb\r\nc\r"},
                      TextModeCase{"ctrl_z_ends_the_text",
                                   "a b\r\n\x1A"
                                   "c d\r\n",
                                   "a b\n"},
                      TextModeCase{"cr_before_ctrl_z", "a b\r\x1A\n", "a b\r"},
                      TextModeCase{"nul_stays", std::string("a\0b\r\nc", 6),
                                   std::string("a\0b\nc", 5)}),
    [](const ::testing::TestParamInfo<TextModeCase> &info) { return info.param.name; });

} // namespace
