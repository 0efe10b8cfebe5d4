#include "winhttp/response_text.h"

#include <gtest/gtest.h>

namespace melodrin {
namespace {

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

const std::string kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // "中文"
const std::string kBig5 = "\xA4\xA4\xA4\xE5";
const std::string kGbk = "\xD6\xD0\xCE\xC4";

TEST(DecodeResponseText, DecodesOnlyAForeignCharsetDeclaredEarlyOnOneLine) {
  struct Case {
    const char* name;
    std::string body;
    std::string text;
  };
  const std::string far_away(1100, ' ');
  const Case kCases[] = {
      {"jsonp unchanged", "cb({\"a\":\"x\"});", "cb({\"a\":\"x\"});"},
      {"cut at a zero byte", std::string("ab\0cd", 5), "ab"},
      {"utf-8", "<meta charset='utf-8'>" + kUtf8, "<meta charset='utf-8'>" + kGbk},
      {"upper-case tag", "<META CHARSET=UTF-8>" + kUtf8, "<META CHARSET=UTF-8>" + kGbk},
      {"big5 in content", "<meta http-equiv=\"Content-Type\" content='text/html; charset=big5'>" + kBig5,
       "<meta http-equiv=\"Content-Type\" content='text/html; charset=big5'>" + kGbk},
      {"gbk stays", "<meta charset=gbk>" + kGbk, "<meta charset=gbk>" + kGbk},
      {"gb2312 stays", "<meta charset=gb2312>" + kGbk, "<meta charset=gb2312>" + kGbk},
      {"GB2312 decodes alike", "<meta charset=GB2312>" + kGbk, "<meta charset=GB2312>" + kGbk},
      {"declared past 1024 bytes", far_away + "<meta charset=utf-8>" + kUtf8,
       far_away + "<meta charset=utf-8>" + kUtf8},
      {"meta and charset on two lines", "<meta\ncharset=utf-8>" + kUtf8,
       "<meta\ncharset=utf-8>" + kUtf8},
      {"empty charset name", "<meta charset=>" + kUtf8, "<meta charset=>" + kUtf8},
      {"unknown charset", "<meta charset=x-no-such-set>" + kUtf8, "<meta charset=x-no-such-set>" + kUtf8},
      {"decoded body ends at its zero", "<meta charset=utf-8>" + kUtf8 + std::string("\0x", 2),
       "<meta charset=utf-8>" + kGbk},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    RegExp reg_exp;
    EXPECT_EQ(decode_response_text(bytes(c.body), reg_exp), c.text);
  }
}

}  // namespace
}  // namespace melodrin
