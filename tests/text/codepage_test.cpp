#include "text/codepage.h"

#include <gtest/gtest.h>

#include <QString>

#include <thread>
#include <vector>

namespace melodrin {
namespace {

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string hex(const Bytes& bytes) { return hex(std::string(bytes.begin(), bytes.end())); }

// UTF-16LE bytes of the given code units.
Bytes units(std::initializer_list<char16_t> list) {
  Bytes out;
  for (char16_t u : list) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

TEST(ToWideBytes, Units) {
  struct Case {
    Text text;
    bool drop_terminator;
    Bytes expected;
  };
  const Case kCases[] = {
      {"A", false, {0x41, 0, 0, 0}},
      {"A", true, {0x41, 0}},
      {"", false, {}},
      {"", true, {}},
      {"\xD6\xD0", false, units({0x4E2D, 0})},
      {"a\x80", false, units({'a', 0x20AC, 0})},  // the euro sign, as Windows maps it
      {"\xA1\xA1", false, units({0x3000, 0})},
      {"\x81\x40", false, units({0x4E02, 0})},    // a GBK character outside GB2312
      {std::string("A\0B", 3), false, units({'A', 0})},  // the text ends at its zero byte
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(hex(c.text));
    EXPECT_EQ(hex(to_wide_bytes(c.text, c.drop_terminator)), hex(c.expected));
  }
}

TEST(FromWideBytes, GbkWithQuestionMarks) {
  struct Case {
    const char* what;
    Bytes wide;
    Text expected;
  };
  const Case kCases[] = {
      {"two units", {0x41, 0, 0x42, 0}, "AB"},
      {"up to the zero unit", {0x41, 0, 0, 0, 0x42, 0}, "A"},
      {"a single byte", {0x41}, ""},
      {"odd last byte", {0x41, 0, 0x42}, "A"},
      {"empty", {}, ""},
      {"double-byte", units({0x4E2D, 'x'}), "\xD6\xD0x"},
      {"euro sign", units({0x20AC}), "\x80"},
      {"not in GBK", units({'a', 0x00E4, 'b'}), "a?b"},
      {"two not in GBK", units({0x00E4, 0x4E2D, 0x0101, 0x3042, 0x00FF}),
       "?\xD6\xD0\xA8\xA1\xA4\xA2?"},
      {"surrogate pair", units({0xD83D, 0xDE00, 'x'}), "?x"},
      {"lone high surrogate", units({'a', 0xD83D}), "a?"},
      {"lone low surrogate", units({0xDE00, 'x'}), "?x"},
      {"combining acute", units({'e', 0x0301}), "\xA8\xA6"},
      {"two combining marks", units({'u', 0x0308, 0x0300}), "\xA8\xB8"},
      {"composed but not in GBK", units({'a', 0x0308}), "?"},
      {"mark without a precomposed form", units({'x', 0x0301}), "x?"},
      {"mark at the start", units({0x0301, 'a'}), "?a"},
      // Only base-and-mark sequences are composed: a compatibility
      // ideograph that GBK holds keeps its own code.
      {"compatibility ideograph kept", units({0xF92C, 'e', 0x0301}), "\xFD\x9C\xA8\xA6"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(hex(from_wide_bytes(c.wide)), hex(c.expected));
  }
}

TEST(FromWideBytes, RoundTripsGbkTexts) {
  const Text kTexts[] = {
      "plain ascii ~!@#$%^&*()",
      "\xD6\xD0\xCE\xC4 mixed \xB0\xA1 text",
      "\x80\xA1\xA1\xA3\xC1\x81\x40\xFE\x4F",
      "\xA8\xA6\xA1\xA4\xA1\xAA",
  };
  for (const Text& text : kTexts) {
    SCOPED_TRACE(hex(text));
    EXPECT_EQ(hex(from_wide_bytes(to_wide_bytes(text))), hex(text));
  }
}

TEST(QtAndUtf8, Conversions) {
  EXPECT_EQ(to_qstring("\xD6\xD0\x80z"), QString::fromUtf8("中€z"));
  EXPECT_EQ(hex(from_qstring(QString::fromUtf8("中€ä"))), hex(Text("\xD6\xD0\x80?")));
  EXPECT_EQ(from_qstring(QString()), "");

  struct Case {
    Text gbk;
    std::string utf8;
  };
  const Case kCases[] = {
      {"abc", "abc"},
      {"\xD6\xD0\xCE\xC4", "中文"},
      {"\x80", "€"},
      {"", ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(hex(gbk_to_utf8(c.gbk)), hex(c.utf8));
    EXPECT_EQ(hex(utf8_to_gbk(c.utf8)), hex(c.gbk));
    EXPECT_EQ(hex(strict_utf8_to_gbk(c.utf8).value_or("-")), hex(c.gbk));
  }
  EXPECT_EQ(utf8_to_gbk("a\xFF" "b"), "a?b");  // invalid UTF-8
  EXPECT_EQ(utf8_to_gbk("e\xCC\x81"), "\xA8\xA6");
  EXPECT_EQ(strict_utf8_to_gbk("a\xFF" "b"), std::nullopt);
  EXPECT_EQ(strict_utf8_to_gbk("\xD6\xD0\xCE\xC4"), std::nullopt);  // GBK bytes
  EXPECT_EQ(hex(strict_utf8_to_gbk("\xEF\xBB\xBF\xE4\xB8\xAD").value_or("-")), hex(Text("\xD6\xD0")));
}

TEST(DecodeToGbk, DeclaredCharsets) {
  struct Case {
    std::string bytes;
    Text charset;
    std::optional<Text> expected;
  };
  const Case kCases[] = {
      {"\xE4\xB8\xAD!", "utf-8", "\xD6\xD0!"},
      {"\xE4\xB8\xAD!", "UTF-8", "\xD6\xD0!"},
      {"\xEF\xBB\xBF" "a", "utf-8", "a"},
      {"\xC3\xA4", "utf-8", "?"},
      {std::string("a\0b", 3), "utf-8", "a"},
      {"\xA4\xA4\xA4\xE5", "big5", "\xD6\xD0\xCE\xC4"},
      {"\xE9\xE4", "iso-8859-1", "\xA8\xA6?"},
      // Pages declaring GB2312 hold GBK characters as well.
      {"\x81\x40\x80", "GB2312", "\x81\x40\x80"},
      {"\xD6\xD0", "no-such-charset", std::nullopt},
      {"\xD6\xD0", "", std::nullopt},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.charset + " " + hex(c.bytes));
    const auto got = decode_to_gbk(Bytes(c.bytes.begin(), c.bytes.end()), c.charset);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (got) EXPECT_EQ(hex(*got), hex(*c.expected));
  }
}

// Each thread keeps its own converters; running several at once must give
// every thread the same results, errors on one not leaking into another.
TEST(Codepage, ThreadsConvertIndependently) {
  const Bytes wide = units({0x4E2D, 0x00E4, 'x', 0x20AC});
  const Text expected = "\xD6\xD0?x\x80";
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        if (from_wide_bytes(wide) != expected) ++failures[t];
        if (from_wide_bytes(units({0x4E02})) != "\x81\x40") ++failures[t];
        if (to_wide_bytes(expected) != units({0x4E2D, '?', 'x', 0x20AC, 0})) ++failures[t];
        const auto decoded = t % 2 ? decode_to_gbk({'\xC3', '\xA9', '\xC3'}, "utf-8")
                                   : decode_to_gbk({'\xE9', '\xC3'}, "iso-8859-1");
        if (decoded != Text("\xA8\xA6?")) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
}  // namespace melodrin
