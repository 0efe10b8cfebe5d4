#include "winhttp/header_block.h"

#include <optional>

#include "text/search.h"

namespace melodrin {

namespace {

const Text kLineBreak = "\r\n";

Text capitalize_name(const Text& name) {
  if (find(name, "-") == -1) return capitalize_first(name);
  Text out;
  bool first = true;
  for (const Text& word : split(name, "-")) {
    if (!first) out += "-";
    out += capitalize_first(word);
    first = false;
  }
  return out;
}

struct DefaultLine {
  const char* key;  // searched anywhere in the block, letter case ignored
  const char* line;
  bool post_only;
};

// Five keys end in a space, "Content-Type:" does not: 'Accept:*/*' leaves the
// default Accept line in, 'content-type:x' keeps the default one out.
const DefaultLine kDefaultLines[] = {
    {"User-Agent: ",
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n",
     false},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*\r\n", false},
    {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312\r\n", false},
    {"Accept-Language: ", "Accept-Language: zh-cn\r\n", false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded\r\n", true},
    {"Cache-Control: ", "Cache-Control: no-cache\r\n", false},
};

constexpr int kPost = 1;

}  // namespace

Text normalize_header_block(const Text& header_block) {
  Text out;
  for (const Text& piece : split(header_block, kLineBreak)) {
    const long colon = find(piece, ":");
    if (colon == -1) continue;
    const Text name = capitalize_name(left(piece, colon - 1));
    out += name;
    out += mid(piece, length(name) + 1, length(piece));
    out += kLineBreak;
  }
  return left(out, length(out) - length(kLineBreak));
}

Text header_value(const Text& header_block, const Text& header_name) {
  for (const Text& piece : split(header_block, kLineBreak)) {
    if (left(piece, length(header_name)) == header_name) {
      return text_after(piece, header_name + ": ");
    }
  }
  return {};
}

Text text_after(const Text& text, const Text& marker) {
  const long at = find_backwards(text, marker);
  if (at == -1) return {};
  return mid(text, at + length(marker), length(text));
}

Text assemble_request_headers(const Text& headers, int method, const Text& cookies,
                              bool complete_headers, bool normalize_headers) {
  Text block = headers.empty() ? Text{} : headers + kLineBreak;

  if (complete_headers) {
    for (const DefaultLine& line : kDefaultLines) {
      if (line.post_only && method != kPost) continue;
      if (find(block, line.key, 1, true) == -1) block += line.line;
    }
  }

  if (normalize_headers) block = normalize_header_block(block);

  // Only a keep-alive line followed by CR LF goes; one at the very end stays.
  if (find(block, "Connection") != -1 && header_value(block, "Connection") == "keep-alive") {
    block = replace_subtexts(block, "Connection: keep-alive\r\n", "", 1, std::nullopt, true);
  }

  // Any "Cookie:" already there, a Set-Cookie line included, keeps cookies out.
  if (find(block, "Cookie:", 1, true) == -1 && !cookies.empty()) {
    block += find(cookies, "Cookie:", 1, true) != -1 ? kLineBreak : Text{"\r\nCookie: "};
    block += cookies;
    block += kLineBreak;
  }
  return block;
}

}  // namespace melodrin
