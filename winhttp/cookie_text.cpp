#include "winhttp/cookie_text.h"

#include "text/search.h"

namespace melodrin {

namespace {

const Text kSeparator = "; ";
const Text kDeletionMarker = "=deleted";

// A final "x=1;" would otherwise not split off cleanly.
void prepare_for_split(Text& cookies) {
  cookies = trim(cookies);
  if (right(cookies, 1) == ";") cookies += " ";
}

}  // namespace

Text cookie_name(const Text& item) {
  const long at = find(item, "=");
  return trim(at == -1 ? item : left(item, at - 1));
}

bool has_cookie_named(const TextArray& items, const Text& name) {
  for (const Text& item : items) {
    if (cookie_name(item) == name) return true;
  }
  return false;
}

long find_in_list(const TextArray& list, const Text& text) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<long>(i) + 1;
  }
  return -1;
}

Text remove_duplicate_items(const Text& text, const Text& separator) {
  TextArray kept;
  Text out;
  for (const Text& piece : split(text, separator)) {
    if (find_in_list(kept, piece) != -1) continue;
    kept.push_back(piece);
    out += piece;
    out += separator;
  }
  return left(out, length(out) - length(separator));
}

Text merge_cookie_text(Text& old_cookies, Text& new_cookies) {
  prepare_for_split(old_cookies);
  prepare_for_split(new_cookies);

  TextArray merged = split(new_cookies, kSeparator);
  for (const Text& item : split(old_cookies, kSeparator)) {
    // Checked against the growing list: the first of repeated old names wins.
    if (!has_cookie_named(merged, cookie_name(item))) merged.push_back(item);
  }

  Text out;
  for (const Text& item : merged) {
    if (right(item, length(kDeletionMarker)) == kDeletionMarker) continue;
    out += item;
    out += kSeparator;
  }
  out = remove_duplicate_items(left(out, length(out) - length(kSeparator)), kSeparator);
  old_cookies = out;
  return out;
}

void collect_set_cookies(const TextArray& lines, Text& cookies) {
  for (const Text& line : lines) {
    if (text_before(line, ": ") != "Set-Cookie") continue;
    const Text value = find(line, ";") != -1
                           ? text_between(line, "Set-Cookie:", ";")
                           : replace_subtexts(line, "Set-Cookie:", "", 1, std::nullopt, false);
    cookies += trim(value);
    cookies += kSeparator;
  }
  if (right(cookies, length(kSeparator)) == kSeparator) {
    cookies = left(cookies, length(cookies) - length(kSeparator));
  }
}

}  // namespace melodrin
