#include "text/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

namespace melodrin {
namespace {

// GBK characters used below.
const Text kZhong = "\xD6\xD0";      // a common character
const Text kFullA = "\xA3\xC1";      // full-width "A"
const Text kFullSpace = "\xA1\xA1";  // full-width space

std::string hex(const Text& text) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

TEST(TextSlices, CountBytesAndClamp) {
  struct Case {
    const char* what;
    std::function<Text()> run;
    Text expected;
  };
  const Case kCases[] = {
      {"left within", [] { return left("abcdef", 2); }, "ab"},
      {"left beyond", [] { return left("abc", 10); }, "abc"},
      {"left zero", [] { return left("abc", 0); }, ""},
      {"left negative", [] { return left("abc", -2); }, ""},
      {"left cuts a character", [] { return left(kZhong + "a", 1); }, "\xD6"},
      {"right within", [] { return right("abcdef", 2); }, "ef"},
      {"right beyond", [] { return right("abc", 10); }, "abc"},
      {"right negative", [] { return right("abc", -1); }, ""},
      {"mid to the end", [] { return mid("abcdef", 5, 10); }, "ef"},
      {"mid from 0", [] { return mid("abcdef", 0, 2); }, ""},
      {"mid past the end", [] { return mid("abcdef", 7, 1); }, ""},
      {"mid last byte", [] { return mid("abcdef", 6, 1); }, "f"},
      {"mid no bytes", [] { return mid("abcdef", 2, 0); }, ""},
      {"mid cuts a character", [] { return mid("a" + kZhong, 3, 5); }, "\xD0"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(hex(c.run()), hex(c.expected));
  }
}

TEST(TextFind, ForwardWalksCharacters) {
  struct Case {
    Text text;
    Text sought;
    long start;
    bool ignore_case;
    long expected;
  };
  const Case kCases[] = {
      {"xxabcabc", "abc", 1, false, 3},
      {"xxabcabc", "abc", 4, false, 6},
      {"xxabcabc", "abc", 9, false, -1},
      {"xxabcabc", "abc", 0, false, 3},
      {"xxabcabc", "abc", -5, false, 3},
      {"xxabcabc", "abc", 6, false, 6},
      {"abc", "abcd", 1, false, -1},
      {"abc", "", 1, false, 1},
      {"abc", "", 3, false, 1},  // the position of the region is not reported
      {"abc", "", 4, false, -1},
      {"", "", 1, false, -1},
      {"", "a", 1, false, -1},
      // Never on the second byte of a character.
      {kZhong + kZhong, "\xD0\xD6", 1, false, -1},
      {kZhong + kZhong, kZhong, 2, false, -1},  // the walk pairs D0 D6 from its start
      {kZhong + kZhong, "\xD0\xD6", 2, false, 2},
      {"\xB0" "A" "A", "A", 1, false, 3},  // 0x41 as a trail byte
      {"\xB0" "a" "A", "a", 1, true, 3},
      {"a" + kZhong + "b" + kZhong, "b", 1, false, 4},
      {"a" + kZhong + "b" + kZhong, kZhong, 3, false, 5},
      {kZhong + kZhong + kZhong + "\xB0", "\xB0", 1, false, 7},  // lone lead byte at the end
      {"\xD6" + kZhong, kZhong, 1, false, -1},
      {"\xB0\xB0\xB0\xB0" "x" "\xB0" "x", "\xB0" "x", 1, false, 6},
      {"\xB0\xB0\xB0\xB0\xB0" "x" "\xB0" "x", "\xB0" "x", 1, false, 5},
      {"xxABC", "abc", 1, true, 3},
      {"xxABC", "abc", 1, false, -1},
      {"a-B_c", "-b_", 1, true, 2},
      {Text(37, 'x') + "\xB0" "a" "yA", "a", 1, true, 41},  // past the first 16-byte block
      // A trail byte in the letter range is no letter: 81 61 is another character than 81 41.
      {"\x81\x61", "\x81\x41", 1, true, -1},
      {"\x81\x61\x81\x41" "A", "\x81\x41" "a", 1, true, 3},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(hex(c.text) + " / " + hex(c.sought) + " from " + std::to_string(c.start));
    EXPECT_EQ(find(c.text, c.sought, c.start, c.ignore_case), c.expected);
  }
}

TEST(TextFind, BackwardsStaysInsideRegion) {
  struct Case {
    Text text;
    Text sought;
    std::optional<long> start;
    bool ignore_case;
    long expected;
  };
  const Case kCases[] = {
      {"xxabcabc", "abc", std::nullopt, false, 6},
      {"xxabcabc", "abc", 8, false, 3},  // the match at 6 would end at 8
      {"xxabcabc", "abc", 9, false, 6},
      {"xxabcabc", "abc", 100, false, 6},
      {"xxabcabc", "abc", 6, false, 3},
      {"xxabcabc", "abc", 5, false, -1},
      {"xxabcabc", "abc", 0, false, -1},
      {"xxabcabc", "abc", -3, false, -1},
      {"abc", "", std::nullopt, false, 1},
      {"abc", "", 1, false, -1},
      {"", "", std::nullopt, false, -1},
      {"aaaa", "aa", std::nullopt, false, 3},
      {kZhong + kZhong, "\xD0\xD6", std::nullopt, false, -1},
      {kZhong + kZhong, kZhong, std::nullopt, false, 3},
      {"ABCabc", "abc", std::nullopt, true, 4},
      {"ABCx", "abc", std::nullopt, true, 1},
      {"ABCx", "abc", std::nullopt, false, -1},
      {"\x81\x41\x81\x61", "\x81\x41", std::nullopt, true, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(hex(c.text) + " / " + hex(c.sought) + " before " +
                 (c.start ? std::to_string(*c.start) : "(none)"));
    EXPECT_EQ(find_backwards(c.text, c.sought, c.start, c.ignore_case), c.expected);
  }
}

TEST(TextReplace, Subtexts) {
  struct Case {
    Text text;
    Text sought;
    Text replacement;
    long start;
    std::optional<long> count;
    bool case_sensitive;
    Text expected;
  };
  const Case kCases[] = {
      {"a);b);", ");", "", 1, std::nullopt, false, "ab"},
      {"a);b);", ");", "", 1, 1, false, "ab);"},
      {"a);b);", ");", "", 1, 0, false, "a);b);"},
      {"a);b);", ");", "", 3, std::nullopt, false, "a);b"},
      {"a);b);", ");", "", 0, std::nullopt, false, "a);b);"},
      {"a);b);", ");", "", 7, std::nullopt, false, "a);b);"},
      {"a);b);", "", "x", 1, std::nullopt, false, "a);b);"},
      {"", "a", "x", 1, std::nullopt, false, ""},
      {"ABab", "ab", "x", 1, std::nullopt, false, "xx"},
      {"ABab", "ab", "x", 1, std::nullopt, true, "ABx"},
      {"aa", "a", "aa", 1, std::nullopt, true, "aaaa"},
      {"aaa", "aa", "b", 1, std::nullopt, true, "ba"},
      {kZhong + kZhong, "\xD0\xD6", "x", 1, std::nullopt, true, kZhong + kZhong},
      {"\xB0" "AA", "a", "-", 1, std::nullopt, false, "\xB0" "A-"},
      {"x" + kZhong + "x" + kZhong, kZhong, "y", 1, std::nullopt, true, "xyxy"},
      {"abc\xB0", "\xB0", "!", 1, std::nullopt, true, "abc!"},
      {"\x81\x61\x81\x41", "\x81\x41", "x", 1, std::nullopt, false, "\x81\x61" "x"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(hex(c.text) + " / " + hex(c.sought) + " from " + std::to_string(c.start));
    EXPECT_EQ(hex(replace_subtexts(c.text, c.sought, c.replacement, c.start, c.count,
                                   c.case_sensitive)),
              hex(c.expected));
  }
}

TEST(TextReplace, AtPosition) {
  struct Case {
    Text text;
    long start;
    long length;
    std::optional<Text> replacement;
    Text expected;
  };
  const Case kCases[] = {
      {"abcdef", 3, 2, "X", "abXef"},
      {"abcdef", 3, 2, std::nullopt, "abef"},
      {"abcdef", 0, 1, "X", "Xbcdef"},
      {"abcdef", -4, 0, "X", "Xabcdef"},
      {"abcdef", 7, 3, "X", "abcdefX"},
      {"abcdef", 50, 3, "X", "abcdefX"},
      {"abcdef", 3, 100, "X", "abX"},
      {"abcdef", 3, -1, "X", "abXcdef"},
      {"", 1, 1, "X", "X"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text + " at " + std::to_string(c.start) + " len " + std::to_string(c.length));
    EXPECT_EQ(replace_at(c.text, c.start, c.length, c.replacement), c.expected);
  }
}

TEST(TextSplit, Pieces) {
  struct Case {
    Text text;
    Text separator;
    std::optional<long> max_pieces;
    TextArray expected;
  };
  const Case kCases[] = {
      {"a,,b,", ",", std::nullopt, {"a", "", "b"}},
      {"({x", "({", std::nullopt, {"", "x"}},
      {"abc", "({", std::nullopt, {"abc"}},
      {",", ",", std::nullopt, {""}},
      {",,", ",", std::nullopt, {"", ""}},
      {"", ",", std::nullopt, {}},
      {"a,b", "", std::nullopt, {"a,b"}},
      {"a,b,c", ",", 0, {}},
      {"a,b,c", ",", -1, {}},
      {"a,b,c", ",", 1, {"a"}},
      {"a,b,c", ",", 2, {"a", "b"}},
      {"a,b,c", ",", 3, {"a", "b", "c"}},
      {"a,b", "", 1, {"a,b"}},
      // A comma after a lead byte is that character's second byte.
      {"\xB0,a,b", ",", std::nullopt, {"\xB0,a", "b"}},
      {"a" + kZhong + "b" + kZhong, kZhong, std::nullopt, {"a", "b"}},
      {"x\xB0", "\xB0", std::nullopt, {"x"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(hex(c.text) + " on " + hex(c.separator));
    EXPECT_EQ(split(c.text, c.separator, c.max_pieces), c.expected);
  }
  EXPECT_EQ(split("a,b"), (TextArray{"a", "b"}));
}

TEST(TextWidth, FullAndHalf) {
  struct Case {
    bool widen;
    Text input;
    Text expected;
  };
  const Case kCases[] = {
      {true, " ", kFullSpace},
      {true, "~", "\xA1\xAB"},
      {true, "A1!", "\xA3\xC1\xA3\xB1\xA3\xA1"},
      {true, "}", "\xA3\xFD"},
      {true, "\t\x7F", "\t\x7F"},
      {true, kZhong, kZhong},
      {true, "a\xB0", "\xA3\xE1"},           // lone lead byte dropped
      {true, "\xB0" "a", "\xB0" "a"},        // a pair is copied whatever its trail byte
      {false, kFullA, "A"},
      {false, "\xA3\xFE", "~"},
      {false, kFullSpace, " "},
      {false, "\xA1\xAB", "~"},
      {false, "\xA1\xEE\xA1\xEF", "**"},
      {false, "\xA3\xA0", "\xA3\xA0"},
      {false, kZhong + "x", kZhong + "x"},
      {false, "\xA3", "\xA3"},
      {false, "\xD6\xA3\xC1", "\xD6\xA3\xC1"},  // A3 is a trail byte here
      {false, "\xA1" + kFullA, "\xA1\xA3\xC1"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE((c.widen ? "full " : "half ") + hex(c.input));
    EXPECT_EQ(hex(c.widen ? to_full_width(c.input) : to_half_width(c.input)), hex(c.expected));
  }

  Text ascii;
  for (int c = 1; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  EXPECT_EQ(to_half_width(to_full_width(ascii)), ascii);
}

TEST(TextTrimAndCase, Characters) {
  struct Case {
    std::function<Text(const Text&)> op;
    const char* what;
    Text input;
    Text expected;
  };
  const Case kCases[] = {
      {trim, "trim", "  a b  ", "a b"},
      {trim, "trim", kFullSpace + "a" + kFullSpace + " ", "a"},
      {trim, "trim", "   ", ""},
      {trim, "trim", "\ta\t", "\ta\t"},
      {trim, "trim", "\xB0\xA1\xA1", "\xB0\xA1\xA1"},  // the last A1 A1 is not one character
      {trim, "trim", "\xB0\xA1\xA1\xA1", "\xB0\xA1"},
      {trim, "trim", "\xB0 ", "\xB0 "},
      {to_upper, "upper", "ab\xB0" "az", "AB\xB0" "aZ"},
      {to_lower, "lower", "AB\xB0" "AZ", "ab\xB0" "Az"},
      {to_upper, "upper", "a\xB0", "A\xB0"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.what) + " " + hex(c.input));
    EXPECT_EQ(hex(c.op(c.input)), hex(c.expected));
  }
}

int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(TextCompare, CaseAndBytes) {
  struct Case {
    Text a;
    Text b;
    bool case_sensitive;
    int expected;
  };
  const Case kCases[] = {
      {"abc", "ABC", false, 0},
      {"abc", "ABC", true, 1},
      {"abc", "abd", false, -1},
      {"ab", "abc", false, -1},
      {"", "", true, 0},
      {"\xB0" "a", "\xB0" "A", false, 1},  // trail bytes are not letters
      {"\xB0", "a", true, 1},              // bytes compare unsigned
      {"a" + kZhong, "A" + kZhong, false, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(hex(c.a) + " vs " + hex(c.b));
    EXPECT_EQ(sign(compare(c.a, c.b, c.case_sensitive)), c.expected);
  }

  struct EqualCase {
    Text a;
    Text b;
    int expected;
  };
  const EqualCase kEqualCases[] = {
      {"a", "a", 0}, {"a", "b", -1}, {"b", "a", 1}, {"", "", 0},
      {"a", "", 1},  {"\xB0", "a", 1}, {"A", "a", -1},
  };
  for (const EqualCase& c : kEqualCases) {
    SCOPED_TRACE(hex(c.a) + " vs " + hex(c.b));
    EXPECT_EQ(equal(c.a, c.b), c.expected);
  }
}

TEST(TextScalars, CodesBlanksAndPrefixes) {
  struct Case {
    const char* what;
    std::function<Text()> run;
    Text expected;
  };
  const Case kCases[] = {
      {"code A", [] { return to_text(char_code("A")); }, "65"},
      {"code signed", [] { return to_text(char_code("\xB0")); }, "-80"},
      {"code second", [] { return to_text(char_code("AB", 2)); }, "66"},
      {"code at 0", [] { return to_text(char_code("A", 0)); }, "0"},
      {"code past end", [] { return to_text(char_code("A", 2)); }, "0"},
      {"from code", [] { return char_from_code(65); }, "A"},
      {"from negative code", [] { return char_from_code(-80); }, "\xB0"},
      {"from zero", [] { return char_from_code(0); }, ""},
      {"blank", [] { return blank(3); }, "   "},
      {"blank 0", [] { return blank(0); }, ""},
      {"blank negative", [] { return blank(-2); }, ""},
      {"starts with", [] { return to_text(starts_with("abc", "ab")); }, "1"},
      {"starts with empty", [] { return to_text(starts_with("abc", "")); }, "1"},
      {"starts with longer", [] { return to_text(starts_with("ab", "abc")); }, "0"},
      {"concatenate", [] { return concatenate(Text("a"), Text(), Text("b")); }, "ab"},
      {"to text", [] { return to_text(-12); }, "-12"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(hex(c.run()), hex(c.expected));
  }
}

TEST(TextToInteger, HalfWidthThenDigits) {
  struct Case {
    Text text;
    long long expected;
  };
  const Case kCases[] = {
      {"123", 123},
      {"  -42abc", -42},
      {"+7", 7},
      {"\t\n 5", 5},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"12 34", 12},
      {"\xA3\xB1\xA3\xB2", 12},
      {"\xA3\xAD\xA3\xB5", -5},
      {kFullSpace + "9", 9},
      {"99999999999999999999", LLONG_MAX},
      {"-9223372036854775808", LLONG_MIN},
      {"9223372036854775807", LLONG_MAX},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(hex(c.text));
    EXPECT_EQ(to_integer(c.text), c.expected);
  }
}

TEST(ByteSets, Operations) {
  const Bytes abc = {'a', 'b', 'c'};
  struct Case {
    const char* what;
    std::function<Bytes()> run;
    Bytes expected;
  };
  const Case kCases[] = {
      {"left", [&] { return left_bytes(abc, 2); }, {'a', 'b'}},
      {"left negative", [&] { return left_bytes(abc, -1); }, {}},
      {"left beyond", [&] { return left_bytes(abc, 10); }, abc},
      {"mid", [&] { return mid_bytes(abc, 2, 1); }, {'b'}},
      {"mid from 0", [&] { return mid_bytes(abc, 0, 2); }, {'a', 'b'}},
      {"mid to the end", [&] { return mid_bytes(abc, 2, 10); }, {'b', 'c'}},
      {"mid past the end", [&] { return mid_bytes(abc, 10, 1); }, {}},
      {"mid negative count", [&] { return mid_bytes(abc, 2, -1); }, {}},
      {"blank", [] { return blank_bytes(3); }, {0, 0, 0}},
      {"blank none", [] { return blank_bytes(-1); }, {}},
      {"concatenate", [&] { return concatenate_bytes({abc, {}, {0, 'd'}}); },
       {'a', 'b', 'c', 0, 'd'}},
      {"concatenate empty", [] { return concatenate_bytes({{}, {}}); }, {}},
      {"to bytes", [] { return text_to_bytes("ab"); }, {'a', 'b'}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.run(), c.expected);
  }

  EXPECT_EQ(text_from_bytes({'a', 0, 'b'}), "a");
  EXPECT_EQ(text_from_bytes(abc), "abc");
  EXPECT_EQ(byte_length({0, 0}), 2);

  struct CompareCase {
    Bytes a;
    Bytes b;
    long count;
    int expected;
  };
  const CompareCase kCompareCases[] = {
      {{1, 2}, {1, 3}, 1, 0},
      {{1, 2}, {1, 3}, 2, -1},
      {{1, 3}, {1, 2}, 5, 1},
      {{'\x80'}, {1}, 1, 1},
      {{1}, {2}, 0, 0},
      {{1}, {1, 2}, 2, -1},
      {{1, 2}, {1, 2}, 10, 0},
  };
  for (const CompareCase& c : kCompareCases) {
    SCOPED_TRACE(c.count);
    EXPECT_EQ(compare_bytes(c.a, c.b, c.count), c.expected);
  }
}

}  // namespace
}  // namespace melodrin
