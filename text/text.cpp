#include "text/text.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "text/text_scan.h"

namespace melodrin {

namespace {

constexpr unsigned char kFullLead = 0xA3;
constexpr unsigned char kSymbolLead = 0xA1;
constexpr unsigned char kFullSpace = 0xA1;  // A1 A1
constexpr unsigned char kFullTilde = 0xAB;  // A1 AB
constexpr unsigned char kStarA = 0xEE;      // A1 EE
constexpr unsigned char kStarB = 0xEF;      // A1 EF

inline unsigned char byte_at(const Text& text, std::size_t i) {
  return static_cast<unsigned char>(text[i]);
}

inline bool is_space_at(const Text& text, std::size_t i) {
  if (text[i] == ' ') return true;
  return byte_at(text, i) == kSymbolLead && i + 1 < text.size() && byte_at(text, i + 1) == kFullSpace;
}

}  // namespace

// --- texts ---------------------------------------------------------------

long length(const Text& text) { return static_cast<long>(text.size()); }

Text left(const Text& text, long n) {
  if (n <= 0) return {};
  return text.substr(0, std::min<std::size_t>(static_cast<std::size_t>(n), text.size()));
}

Text right(const Text& text, long n) {
  if (n <= 0) return {};
  const std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(n), text.size());
  return text.substr(text.size() - k);
}

Text mid(const Text& text, long start, long n) {
  if (start < 1 || n <= 0 || static_cast<std::size_t>(start) > text.size()) return {};
  return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(n));
}

long find(const Text& text, const Text& sought, long start, bool ignore_case) {
  const std::size_t begin = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
  if (begin >= text.size()) return -1;
  if (sought.empty()) return 1;
  const std::size_t at = scan::find_char_aligned(text, begin, sought, ignore_case);
  return at == scan::npos ? -1 : static_cast<long>(at + 1);
}

long find_backwards(const Text& text, const Text& sought, std::optional<long> start,
                    bool ignore_case) {
  std::size_t end = text.size();
  if (start) {
    if (*start <= 0) return -1;
    end = std::min<std::size_t>(static_cast<std::size_t>(*start - 1), text.size());
  }
  if (end == 0) return -1;
  if (sought.empty()) return 1;
  const std::string_view region(text.data(), end);
  std::size_t last = scan::npos;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = scan::find_char_aligned(region, from, sought, ignore_case);
    if (at == scan::npos) break;
    last = at;
    from = at + scan::char_width(region, at);
  }
  return last == scan::npos ? -1 : static_cast<long>(last + 1);
}

Text replace_subtexts(const Text& text, const Text& sought, const Text& replacement, long start,
                      std::optional<long> count, bool case_sensitive) {
  if (text.empty() || sought.empty() || (count && *count == 0) || start < 1 ||
      static_cast<std::size_t>(start) > text.size()) {
    return text;
  }
  const long limit = count && *count > 0 ? *count : -1;
  const bool ignore_case = !case_sensitive;
  std::size_t from = static_cast<std::size_t>(start - 1);
  std::size_t at = scan::find_char_aligned(text, from, sought, ignore_case);
  if (at == scan::npos) return text;

  Text out;
  out.reserve(text.size());
  out.append(text, 0, from);
  long done = 0;
  while (at != scan::npos) {
    out.append(text, from, at - from);
    out.append(replacement);
    from = at + sought.size();
    if (++done == limit) break;
    at = scan::find_char_aligned(text, from, sought, ignore_case);
  }
  out.append(text, from, Text::npos);
  return out;
}

Text replace_at(const Text& text, long start, long length,
                const std::optional<Text>& replacement) {
  const std::size_t size = text.size();
  const std::size_t at =
      start <= 1 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(start - 1), size);
  const std::size_t removed =
      length <= 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(length), size - at);
  Text out;
  out.reserve(size - removed + (replacement ? replacement->size() : 0));
  out.append(text, 0, at);
  if (replacement) out.append(*replacement);
  out.append(text, at + removed, Text::npos);
  return out;
}

TextArray split(const Text& text, const Text& separator, std::optional<long> max_pieces) {
  TextArray pieces;
  const std::size_t limit =
      max_pieces ? static_cast<std::size_t>(std::max<long>(*max_pieces, 0)) : SIZE_MAX;
  if (text.empty() || limit == 0) return pieces;
  if (separator.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  std::size_t from = 0;
  while (pieces.size() < limit) {
    const std::size_t at = scan::find_char_aligned(text, from, separator, false);
    if (at == scan::npos) break;
    pieces.emplace_back(text, from, at - from);
    from = at + separator.size();
  }
  if (from < text.size() && pieces.size() < limit) pieces.emplace_back(text, from, Text::npos);
  return pieces;
}

Text to_full_width(const Text& text) {
  Text out;
  out.reserve(text.size() * 2);
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = byte_at(text, i);
    if (c >= 0x80) {
      if (i + 1 >= size) break;  // lone lead byte at the end
      out.push_back(static_cast<char>(c));
      out.push_back(text[++i]);
    } else if (c == ' ') {
      out.push_back(static_cast<char>(kSymbolLead));
      out.push_back(static_cast<char>(kFullSpace));
    } else if (c == '~') {
      out.push_back(static_cast<char>(kSymbolLead));
      out.push_back(static_cast<char>(kFullTilde));
    } else if (c >= 0x21 && c <= 0x7D) {
      out.push_back(static_cast<char>(kFullLead));
      out.push_back(static_cast<char>(c | 0x80));
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

Text to_half_width(const Text& text) {
  Text out;
  out.reserve(text.size());
  const std::size_t size = text.size();
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = byte_at(text, i);
    if (c < 0x80 || i + 1 >= size) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    const unsigned char t = byte_at(text, ++i);
    if (c == kFullLead && t >= 0xA1 && t <= 0xFE) {
      out.push_back(static_cast<char>(t - 0x80));
    } else if (c == kSymbolLead && t == kFullSpace) {
      out.push_back(' ');
    } else if (c == kSymbolLead && t == kFullTilde) {
      out.push_back('~');
    } else if (c == kSymbolLead && (t == kStarA || t == kStarB)) {
      out.push_back('*');
    } else {
      out.push_back(static_cast<char>(c));
      out.push_back(static_cast<char>(t));
    }
  }
  return out;
}

Text trim(const Text& text) {
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size && is_space_at(text, i)) i += text[i] == ' ' ? 1 : 2;
  const std::size_t begin = i;
  std::size_t end = begin;
  // Walk forward so a trailing A1 A1 is only taken for a space when it is a whole character.
  while (i < size) {
    const bool space = is_space_at(text, i);
    i += scan::char_width(text, i);
    if (!space) end = i;
  }
  return text.substr(begin, end - begin);
}

Text to_upper(const Text& text) {
  Text out(text);
  for (std::size_t i = 0; i < out.size(); i += scan::char_width(out, i)) {
    if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 32);
  }
  return out;
}

Text to_lower(const Text& text) {
  Text out(text);
  for (std::size_t i = 0; i < out.size(); i += scan::char_width(out, i)) {
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] + 32);
  }
  return out;
}

int compare(const Text& a, const Text& b, bool case_sensitive) {
  const std::size_t n = std::min(a.size(), b.size());
  bool trail = false;  // a and b share every byte so far, so also the character layout
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = byte_at(a, i);
    unsigned char y = byte_at(b, i);
    if (!case_sensitive && !trail) {
      x = scan::fold(x);
      y = scan::fold(y);
    }
    if (x != y) return x < y ? -1 : 1;
    trail = !trail && byte_at(a, i) >= 0x80;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int equal(const Text& a, const Text& b) {
  const int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool starts_with(const Text& text, const Text& prefix) {
  return text.size() >= prefix.size() &&
         std::memcmp(text.data(), prefix.data(), prefix.size()) == 0;
}

int char_code(const Text& text, long position) {
  if (position < 1 || static_cast<std::size_t>(position) > text.size()) return 0;
  return static_cast<signed char>(text[static_cast<std::size_t>(position - 1)]);
}

Text char_from_code(int code) {
  const char c = static_cast<char>(code);
  // A zero byte would end a zero-terminated text: it gives the empty text.
  if (c == '\0') return {};
  return Text(1, c);
}

Text blank(long n) {
  if (n < 1) return {};
  return Text(static_cast<std::size_t>(n), ' ');
}

long long to_integer(const Text& text) {
  const Text half = to_half_width(text);
  std::size_t i = 0;
  const std::size_t size = half.size();
  while (i < size && (half[i] == ' ' || (half[i] >= '\t' && half[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < size && (half[i] == '+' || half[i] == '-')) negative = half[i++] == '-';
  // Accumulate as a negative number so that LLONG_MIN fits; saturate on overflow.
  long long value = 0;
  bool overflow = false;
  for (; i < size && half[i] >= '0' && half[i] <= '9'; ++i) {
    const int digit = half[i] - '0';
    if (value < (LLONG_MIN + digit) / 10) {
      overflow = true;
      continue;
    }
    value = value * 10 - digit;
  }
  if (overflow) return negative ? LLONG_MIN : LLONG_MAX;
  if (negative) return value;
  return value == LLONG_MIN ? LLONG_MAX : -value;
}

Text to_text(long long number) { return std::to_string(number); }

// --- byte sets -------------------------------------------------------------

long byte_length(const Bytes& bytes) { return static_cast<long>(bytes.size()); }

Bytes left_bytes(const Bytes& bytes, long n) {
  const std::size_t k = n <= 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), bytes.size());
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(k));
}

Bytes mid_bytes(const Bytes& bytes, long start, long n) {
  const std::size_t at =
      start <= 1 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(start - 1), bytes.size());
  const std::size_t k =
      n <= 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), bytes.size() - at);
  const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(at);
  return Bytes(first, first + static_cast<std::ptrdiff_t>(k));
}

Bytes blank_bytes(long n) {
  if (n <= 0) return {};
  return Bytes(static_cast<std::size_t>(n), '\0');
}

Bytes concatenate_bytes(const std::vector<Bytes>& parts) {
  std::size_t total = 0;
  for (const Bytes& part : parts) total += part.size();
  Bytes out;
  out.reserve(total);
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

int compare_bytes(const Bytes& a, const Bytes& b, long count) {
  if (count <= 0) return 0;
  const std::size_t n = static_cast<std::size_t>(count);
  // Bytes past the end of the shorter set count as missing, which sorts first.
  const std::size_t common = std::min({n, a.size(), b.size()});
  const int r = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  if (r != 0) return r < 0 ? -1 : 1;
  const std::size_t la = std::min(n, a.size());
  const std::size_t lb = std::min(n, b.size());
  if (la == lb) return 0;
  return la < lb ? -1 : 1;
}

Bytes text_to_bytes(const Text& text) { return Bytes(text.begin(), text.end()); }

Text text_from_bytes(const Bytes& bytes) {
  const auto zero = std::find(bytes.begin(), bytes.end(), '\0');
  return Text(bytes.begin(), zero);
}

}  // namespace melodrin
