// Shared types: checked 16/32-bit arithmetic, rounding, numeric text,
// UTF-8/UTF-16 and the error table.
#include <cmath>
#include <limits>

#include "common/arith.hpp"
#include "common/stream_safe.hpp"
#include "common/text.hpp"
#include "lumarin/variant.hpp"
#include "support.hpp"

namespace lumarin {
namespace {

using test::error_number;

TEST(Arithmetic, SixteenBitResultsStopAtTheRangeInsteadOfWrapping)
{
    EXPECT_EQ(add16(32766, 1), 32767);
    EXPECT_EQ(error_number([] { add16(32767, 1); }), 6);
    EXPECT_EQ(error_number([] { add16(-32768, -1); }), 6);
    EXPECT_EQ(multiply16(109, 300), 32700);
    EXPECT_EQ(error_number([] { multiply16(110, 300); }), 6);
    EXPECT_EQ(multiply16(-128, 256), -32768);
    EXPECT_EQ(error_number([] { multiply16(128, 256); }), 6);
    EXPECT_EQ(error_number([] { abs16(-32768); }), 6);
    EXPECT_EQ(abs16(-32767), 32767);
}

TEST(Arithmetic, ThirtyTwoBitSumsAreChecked)
{
    constexpr Long max = std::numeric_limits<Long>::max();
    EXPECT_EQ(add32(max - 5, 5), max);
    EXPECT_EQ(error_number([&] { add32(max, 1); }), 6);
    EXPECT_EQ(error_number([] { add32(std::numeric_limits<Long>::min(), -1); }), 6);
}

TEST(Arithmetic, RoundingTakesHalvesToTheEvenNeighbour)
{
    EXPECT_EQ(round_half_even(2.5), 2.0);
    EXPECT_EQ(round_half_even(3.5), 4.0);
    EXPECT_EQ(round_half_even(-2.5), -2.0);
    EXPECT_EQ(round_half_even(-3.5), -4.0);
    EXPECT_EQ(round_half_even(0.5), 0.0);
    EXPECT_EQ(round_half_even(2.4999), 2.0);
    EXPECT_EQ(round_to_integer(32767.4), 32767);
    EXPECT_EQ(round_to_integer(-32768.5), -32768);
    EXPECT_EQ(error_number([] { round_to_integer(32767.5); }), 6);
    EXPECT_EQ(error_number([] { round_to_integer(std::nan("")); }), 6);
    EXPECT_EQ(round_to_long(2147483647.4), 2147483647);
    EXPECT_EQ(error_number([] { round_to_long(2147483647.5); }), 6);
}

TEST(Arithmetic, FloatingPointStepsThatLeaveTheSingleRangeFail)
{
    EXPECT_EQ(checked_single(208.0), 208.0f);
    EXPECT_EQ(error_number([] { checked_single(1e39); }), 11);
    EXPECT_EQ(error_number([] { checked_single(std::numeric_limits<double>::infinity()); }), 11);
    EXPECT_EQ(error_number([] { checked_single(std::nan("")); }), 11);
}

TEST(NumericText, ConvertsAsScriptingClientsExpect)
{
    EXPECT_EQ(parse_number(u"7"), 7.0);
    EXPECT_EQ(parse_number(u" 7 "), 7.0);
    EXPECT_EQ(parse_number(u"\t7"), 7.0);
    EXPECT_EQ(parse_number(u"-2.5"), -2.5);
    EXPECT_EQ(parse_number(u"+3"), 3.0);
    EXPECT_EQ(parse_number(u".5"), 0.5);
    EXPECT_EQ(parse_number(u"5."), 5.0);
    EXPECT_EQ(parse_number(u"1e1"), 10.0);
    EXPECT_EQ(parse_number(u"1E+2"), 100.0);
    EXPECT_EQ(parse_number(u"25e-1"), 2.5);
    EXPECT_EQ(parse_number(u"1d2"), 100.0);
    EXPECT_EQ(parse_number(u"&H10"), 16.0);
    EXPECT_EQ(parse_number(u"&h1f"), 31.0);
    EXPECT_EQ(parse_number(u"&O17"), 15.0);
    // Hexadecimal literals are 16- or 32-bit two's complement.
    EXPECT_EQ(parse_number(u"&HFFFF"), -1.0);
    EXPECT_EQ(parse_number(u"&H10000"), 65536.0);
    EXPECT_EQ(parse_number(u"&HFFFFFFFF"), -1.0);
    EXPECT_EQ(parse_number(u"1e-400"), 0.0);
}

TEST(NumericText, AnythingElseIsATypeMismatch)
{
    for (const char16_t* bad : {u"", u"   ", u"abc", u"7a", u"1e", u"1.2.3", u"--1", u"-", u".", u"&H", u"&HG",
                                u"&O8", u"1,000", u"\u0667", u"7\u00a0"})
        EXPECT_EQ(error_number([&] { parse_number(bad); }), 13) << to_utf8(bad);
    EXPECT_EQ(error_number([] { parse_number(u"&H100000000"); }), 6);
    EXPECT_EQ(error_number([] { parse_number(u"1e400"); }), 6);
}

TEST(VariantValues, EmptyIsZeroAndNullIsInvalidUse)
{
    EXPECT_EQ(to_number(Variant{Empty{}}), 0.0);
    EXPECT_EQ(to_number(Variant{2.5}), 2.5);
    EXPECT_EQ(to_number(Variant{Text(u" 7 ")}), 7.0);
    EXPECT_EQ(error_number([] { to_number(Variant{Null{}}); }), 94);
}

TEST(Utf, LoneSurrogatesBecomeTheReplacementCharacter)
{
    EXPECT_EQ(to_utf8(u"\u00a3"), "\xC2\xA3");
    EXPECT_EQ(to_utf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    const char16_t lone[] = {0xD800, u'a', 0xDC00, 0};
    EXPECT_EQ(to_utf8(lone), "\xEF\xBF\xBD" "a" "\xEF\xBF\xBD");
    EXPECT_TRUE(has_lone_surrogate_or_nul(lone));
    EXPECT_TRUE(has_lone_surrogate_or_nul(Text(u"a\0b", 3)));
    EXPECT_FALSE(has_lone_surrogate_or_nul(u"\U0001F600.bmp"));
}

TEST(Utf, SurrogateRangesAndPairsEndExactlyWhereUtf16SaysSo)
{
    EXPECT_FALSE(is_surrogate(0xD7FF));
    EXPECT_TRUE(is_high_surrogate(0xD800));
    EXPECT_TRUE(is_high_surrogate(0xDBFF));
    EXPECT_FALSE(is_low_surrogate(0xDBFF));
    EXPECT_TRUE(is_low_surrogate(0xDC00));
    EXPECT_FALSE(is_high_surrogate(0xDC00));
    EXPECT_TRUE(is_low_surrogate(0xDFFF));
    EXPECT_FALSE(is_surrogate(0xE000));
    const char16_t text[] = {u'a', 0xD83D, 0xDE00, 0xDE00, 0xD83D, 0};  // a, U+1F600, two lone halves
    const std::u16string_view view(text);
    EXPECT_FALSE(is_surrogate_pair_at(view, 0));
    EXPECT_TRUE(is_surrogate_pair_at(view, 1));
    EXPECT_FALSE(is_surrogate_pair_at(view, 2));  // low then high is no pair
    EXPECT_FALSE(is_surrogate_pair_at(view, 4));  // a high half at the very end
}

TEST(Utf, StrictDecodingRejectsMalformedInput)
{
    Text out;
    EXPECT_TRUE(from_utf8("caf\xC3\xA9 \xF0\x9F\x98\x80", out));
    EXPECT_EQ(out, u"caf\u00e9 \U0001F600");
    for (const char* bad : {"\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xE2\x82",
                            "\x80", "\xFF", "a\xC3(b"})
        EXPECT_FALSE(from_utf8(bad, out)) << bad;
}

TEST(Utf, ControlCharactersAreEscapedSoThatAMessageStaysOneLine)
{
    EXPECT_EQ(escape_controls("a\nb\rc\td"), "a\\nb\\rc\\td");
    EXPECT_EQ(escape_controls(std::string("\x00\x1B[31m\x7F", 7)), "\\x00\\x1B[31m\\x7F");
    // C1 controls and the separators that end a line for some readers.
    EXPECT_EQ(escape_controls("x\xC2\x85y\xE2\x80\xA8z\xE2\x80\xA9"), "x\\u0085y\\u2028z\\u2029");
    // Everything else stays as it is, backslashes and other characters too.
    const std::string kept = "C:\\out \xC3\xA9\xC2\xA0\xE2\x80\xA6\xF0\x9F\x98\x80.bmp";
    EXPECT_EQ(escape_controls(kept), kept);
}

TEST(Utf, BytesThatAreNotUtf8AreEscapedOneByOne)
{
    // A raw 0x9B is CSI to a terminal that reads 8-bit controls.
    EXPECT_EQ(escape_controls("a\x9B" "31mb"), "a\\x9B31mb");
    EXPECT_EQ(escape_controls("\xFF\xFE"), "\\xFF\\xFE");
    // Overlong, surrogate and truncated forms: every byte, the good one after kept.
    EXPECT_EQ(escape_controls("\xC0\xAFx"), "\\xC0\\xAFx");
    EXPECT_EQ(escape_controls("\xED\xA0\x80"), "\\xED\\xA0\\x80");
    EXPECT_EQ(escape_controls("x\xE2\x80"), "x\\xE2\\x80");
    EXPECT_EQ(escape_controls("\xE2\x80(\xC3\xA9"), "\\xE2\\x80(\xC3\xA9");
}

TEST(Utf, BidiControlsAreEscapedSoThatANameCannotReadBackwards)
{
    EXPECT_EQ(escape_controls("a\xE2\x80\xAA" "b\xE2\x80\xAE" "c"), "a\\u202Ab\\u202Ec");
    EXPECT_EQ(escape_controls("\xE2\x81\xA6x\xE2\x81\xA9"), "\\u2066x\\u2069");
    // Their neighbours are ordinary characters: U+2027, U+202F, U+2065, U+206A.
    const std::string kept = "\xE2\x80\xA7\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA";
    EXPECT_EQ(escape_controls(kept), kept);
}

TEST(Utf, NumbersInMessagesAreGroupedByThousands)
{
    EXPECT_EQ(grouped(0), "0");
    EXPECT_EQ(grouped(999), "999");
    EXPECT_EQ(grouped(65535), "65,535");
    EXPECT_EQ(grouped(-1234567), "-1,234,567");
    EXPECT_EQ(grouped(std::numeric_limits<long long>::min()), "-9,223,372,036,854,775,808");
}

TEST(StreamSafe, AJoinerGoesBeforeTheNonStarterThatWouldMakeARunOfThirtyOne)
{
    const Text acute(1, u'\x0301');
    const auto marks = [&](int n) { return Text(static_cast<std::size_t>(n), u'\x0301'); };
    const Text cgj(1, kGraphemeJoiner);
    EXPECT_EQ(stream_safe(u"a" + marks(30)), u"a" + marks(30));
    EXPECT_EQ(stream_safe(u"a" + marks(31)), u"a" + marks(30) + cgj + acute);
    EXPECT_EQ(stream_safe(u"a" + marks(61)), u"a" + marks(30) + cgj + marks(30) + cgj + acute);
    // A starter ends the run, and so does a joiner already there.
    EXPECT_EQ(stream_safe(u"a" + marks(30) + u"b" + marks(30)), u"a" + marks(30) + u"b" + marks(30));
    EXPECT_EQ(stream_safe(marks(20) + cgj + marks(20)), marks(20) + cgj + marks(20));
    // Plain text, lone surrogates (starters) and pairs come back as they are.
    const char16_t lone[] = {u'a', 0xDC00, 0x0301, 0xD83D, 0xDE00, 0};
    EXPECT_EQ(stream_safe(u"plain text \u00e9\u4e2d"), u"plain text \u00e9\u4e2d");
    EXPECT_EQ(stream_safe(lone), lone);
}

TEST(StreamSafe, RunsAreCountedInTheFullDecomposition)
{
    const Text cgj(1, kGraphemeJoiner);
    // U+0344 decomposes to two non-starters: fifteen of them make thirty.
    const Text dialytika_tonos(15, u'\x0344');
    EXPECT_EQ(stream_safe(u"a" + dialytika_tonos + u"\u0344"), u"a" + dialytika_tonos + cgj + u"\u0344");
    // U+1E09 ends in two non-starters (c, U+0327, U+0301).
    const Text c_cedilla_acute = u"\u1E09" + Text(28, u'\x0301');
    EXPECT_EQ(stream_safe(c_cedilla_acute), c_cedilla_acute);
    EXPECT_EQ(stream_safe(c_cedilla_acute + u"\u0301"), c_cedilla_acute + cgj + u"\u0301");
    // Marks beyond the first plane: a pair is one character, never split.
    Text musical;
    for (int i = 0; i < 31; ++i)
        musical += u"\U0001D167";
    const Text expected = musical.substr(0, 60) + cgj + musical.substr(60);
    EXPECT_EQ(stream_safe(u"x" + musical), u"x" + expected);
}

TEST(Direction, TheFirstStrongCharacterByItsBidiClassDecides)
{
    EXPECT_FALSE(starts_right_to_left(u"\uFEFFabc")) << "a byte order mark is a format character";
    EXPECT_FALSE(starts_right_to_left(u"\uFEFF\u200B\u200C\u200Dabc\u05D0"));
    EXPECT_TRUE(starts_right_to_left(u"\uFEFF\u05E9\u05DC\u05D5\u05DD"));
    EXPECT_TRUE(starts_right_to_left(u"\u200Fabc")) << "the right-to-left mark is strong";
    EXPECT_FALSE(starts_right_to_left(u"\u200E\u05D0")) << "the left-to-right mark too";
    EXPECT_TRUE(starts_right_to_left(u"123 \u05E9\u05DC\u05D5\u05DD"));
    EXPECT_FALSE(starts_right_to_left(u"12.50 $ (3) -- !?"));
    EXPECT_FALSE(starts_right_to_left(u""));
    EXPECT_TRUE(starts_right_to_left(u"\"(...)\" \u0645\u0631\u062D\u0628\u0627 hello"));
    EXPECT_FALSE(starts_right_to_left(u"\u0661\u0662\u0663 abc")) << "Arabic-Indic digits are numbers";
    EXPECT_FALSE(starts_right_to_left(u"\u0301\u064B abc")) << "marks, Arabic ones too";
    EXPECT_TRUE(starts_right_to_left(u"\U00010900")) << "Phoenician, past the first plane";
    EXPECT_TRUE(starts_right_to_left(u"\U0001F600 \U00010900")) << "an emoji is neutral";
}

TEST(Direction, TheTableFollowsUnicodeAtItsEdges)
{
    EXPECT_EQ(strong_direction(U'A'), Direction::LeftToRight);
    EXPECT_EQ(strong_direction(U'@'), Direction::None);
    EXPECT_EQ(strong_direction(0x05BE), Direction::RightToLeft);  // maqaf, punctuation of class R
    EXPECT_EQ(strong_direction(0x0600), Direction::None);         // an Arabic number sign, AN
    EXPECT_EQ(strong_direction(0x08FF), Direction::None);         // an Arabic mark
    EXPECT_EQ(strong_direction(0xFDFD), Direction::None);         // an Arabic ligature, ON
    EXPECT_EQ(strong_direction(0xFE70), Direction::RightToLeft);
    EXPECT_EQ(strong_direction(0xFEFF), Direction::None);
    EXPECT_EQ(strong_direction(0x10FFFD), Direction::LeftToRight);  // private use is L
}

TEST(Errors, NumbersAndDescriptionsAreTheOnesScriptsKnow)
{
    const std::pair<ErrorKind, const char*> table[] = {
        {ErrorKind::Overflow, "Overflow"},
        {ErrorKind::OutOfMemory, "Out of memory"},
        {ErrorKind::SubscriptOutOfRange, "Subscript out of range"},
        {ErrorKind::TypeMismatch, "Type mismatch"},
        {ErrorKind::BadFileName, "Bad file name or number"},
        {ErrorKind::FileNotFound, "File not found"},
        {ErrorKind::DeviceIO, "Device I/O error"},
        {ErrorKind::DiskFull, "Disk full"},
        {ErrorKind::DeviceUnavailable, "Device unavailable"},
        {ErrorKind::PermissionDenied, "Permission denied"},
        {ErrorKind::PathFileAccess, "Path/File access error"},
        {ErrorKind::PathNotFound, "Path not found"},
        {ErrorKind::InvalidUseOfNull, "Invalid use of Null"},
        {ErrorKind::InvalidPropertyValue, "Invalid property value"},
    };
    const int numbers[] = {6, 7, 9, 13, 52, 53, 57, 61, 68, 70, 75, 76, 94, 380};
    for (std::size_t i = 0; i < std::size(table); ++i) {
        const Error e(table[i].first, "cannot write x.bmp");
        EXPECT_EQ(e.number(), numbers[i]);
        EXPECT_EQ(e.description(), table[i].second);
        EXPECT_EQ(std::string(e.what()), std::string("cannot write x.bmp: ") + table[i].second);
    }
}

}  // namespace
}  // namespace lumarin
