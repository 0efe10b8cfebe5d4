#include "text/search.h"

#include "text/text_scan.h"

namespace melodrin {

namespace {

// Half width of text with a lone lead byte at its end dropped: what full
// width and back again give.
Text fold_widths(const Text& text) {
  std::size_t last = 0;
  for (std::size_t i = 0; i < text.size(); i += scan::char_width(text, i)) last = i;
  const bool lone_lead = !text.empty() && last == text.size() - 1 &&
                         static_cast<unsigned char>(text[last]) >= 0x80;
  return to_half_width(lone_lead ? text.substr(0, last) : text);
}

}  // namespace

Text replace_quote_marker(const Text& text) {
  static const Text kQuoteMarker = "#\xD2\xFD\xBA\xC5";  // "#引号" in GBK
  if (text.find(kQuoteMarker) == Text::npos) return text;
  return replace_subtexts(text, kQuoteMarker, "\"", 1, std::nullopt, true);
}

long find_folded(const Text& text, const Text& sought, long start, bool ignore_case) {
  if (text.empty() || sought.empty()) return -1;
  const std::size_t begin = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
  if (begin > text.size()) return -1;
  const std::size_t at = scan::find_raw(text, begin, sought, ignore_case);
  return at == scan::npos ? -1 : static_cast<long>(at + 1);
}

Text text_before(const Text& text, const Text& marker, long start, bool ignore_case) {
  long at;
  if (start < 0) {
    // n - 1, written so that the most negative start cannot overflow.
    const long n_less_one = -(start + 1);
    at = find_backwards(text, marker, n_less_one == 0 ? length(text) + 1 : length(text) - n_less_one,
                        ignore_case);
  } else {
    at = find(text, marker, start, ignore_case);
  }
  return at == -1 ? Text() : left(text, at - 1);
}

Text text_between(const Text& text, const Text& left, const Text& right, long start,
                  bool ignore_case) {
  const Text open = replace_quote_marker(left);
  const Text close = replace_quote_marker(right);
  const long at = find(text, open, start, ignore_case);
  if (at == -1) return {};
  const long inner = at + length(open);
  const long end = find(text, close, inner, ignore_case);
  if (end == -1) return {};
  return mid(text, inner, end - inner);
}

Text capitalize_first(const Text& text) {
  Text out(text);
  if (!out.empty() && out[0] >= 'a' && out[0] <= 'z') out[0] = static_cast<char>(out[0] - 32);
  return out;
}

Text insert_widened(const Text& text, const Text& insertion, long position) {
  // Widening and narrowing again maps every character to one character, so
  // the round trip is done in one pass per part. A position of 3 or more
  // counts characters: the insertion goes after position - 2 of them.
  Text body = fold_widths(text);
  const Text added = fold_widths(insertion);
  std::size_t at = 0;
  for (long k = position; k > 2 && at < body.size(); --k) at += scan::char_width(body, at);
  body.insert(at, added);
  return body;
}

Text replace_pairs(const Text& text, std::initializer_list<ReplacePair> pairs,
                   std::optional<long> count, long start, bool case_sensitive) {
  const long from = start < 1 ? 1 : start;
  Text out = text;
  for (const ReplacePair& pair : pairs) {
    if (pair.first.empty()) continue;
    out = replace_subtexts(out, pair.first, pair.second, from, count, case_sensitive);
  }
  return out;
}

}  // namespace melodrin
