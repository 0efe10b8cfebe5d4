// Scanning helpers shared by the text sources (not part of the library's interface).
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace melodrin::scan {

inline constexpr std::size_t npos = static_cast<std::size_t>(-1);

inline unsigned char fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

inline bool is_letter(unsigned char c) { return fold(c) >= 'a' && fold(c) <= 'z'; }

// Bytes of the character starting at i: two for a lead byte, one for a lone
// lead byte at the very end.
inline std::size_t char_width(std::string_view text, std::size_t i) {
  return static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size() ? 2 : 1;
}

inline bool equal_folded(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// First offset in [from, end) holding byte a or byte b.
inline std::size_t find_either(const char* base, std::size_t from, std::size_t end, unsigned char a,
                               unsigned char b) {
  if (a == b) {
    const void* p = from < end ? std::memchr(base + from, a, end - from) : nullptr;
    return p ? static_cast<std::size_t>(static_cast<const char*>(p) - base) : npos;
  }
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  for (; i + 16 <= end; i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i));
    const int mask = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(chunk, va), _mm_cmpeq_epi8(chunk, vb)));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
#endif
  for (; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(base[i]);
    if (c == a || c == b) return i;
  }
  return npos;
}

// First place at or after from where needle's bytes occur, ignoring character
// boundaries.
inline std::size_t find_raw(std::string_view hay, std::size_t from, std::string_view needle,
                            bool ignore_case) {
  const std::size_t n = needle.size();
  if (from > hay.size() || hay.size() - from < n) return npos;
  const char* base = hay.data();
  bool has_letter = false;
  if (ignore_case) {
    for (char c : needle) has_letter = has_letter || is_letter(static_cast<unsigned char>(c));
  }
  if (!has_letter && n >= 4) {
    const void* p = memmem(base + from, hay.size() - from, needle.data(), n);
    return p ? static_cast<std::size_t>(static_cast<const char*>(p) - base) : npos;
  }
  if (!has_letter) {
    // memmem walks short needles byte by byte; memchr on the first byte is far quicker.
    const std::size_t last = hay.size() - n;
    for (std::size_t at = from; at <= last;) {
      const void* p = std::memchr(base + at, static_cast<unsigned char>(needle[0]), last - at + 1);
      if (!p) return npos;
      const std::size_t q = static_cast<std::size_t>(static_cast<const char*>(p) - base);
      if (std::memcmp(base + q + 1, needle.data() + 1, n - 1) == 0) return q;
      at = q + 1;
    }
    return npos;
  }
  // Look for either case of the first byte, then check the rest.
  const unsigned char first = static_cast<unsigned char>(needle[0]);
  const unsigned char lower = fold(first);
  const unsigned char upper = is_letter(first) ? static_cast<unsigned char>(lower - 32) : lower;
  const std::size_t last = hay.size() - n;  // last possible start
  for (std::size_t at = from; at <= last;) {
    const std::size_t q = find_either(base, at, last + 1, lower, upper);
    if (q == npos) return npos;
    if (equal_folded(base + q + 1, needle.data() + 1, n - 1)) return q;
    at = q + 1;
  }
  return npos;
}

// Trail bytes of the double-byte characters of a match equal those of the
// needle: a trail byte that looks like a letter is not one, so folding it
// would match a different character.
inline bool trail_bytes_equal(const char* match, const char* needle, std::size_t n) {
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (static_cast<unsigned char>(match[i]) < 0x80) continue;
    ++i;
    if (match[i] != needle[i]) return false;
  }
  return true;
}

// First occurrence of needle (non-empty) at a character start of the walk
// that begins at offset begin, lying wholly inside hay; npos when none.
inline std::size_t find_char_aligned(std::string_view hay, std::size_t begin,
                                     std::string_view needle, bool ignore_case) {
  std::size_t known = begin;  // a place the walk is known to pass through
  std::size_t from = begin;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(hay.data());
  for (;;) {
    const std::size_t q = find_raw(hay, from, needle, ignore_case);
    if (q == npos) return npos;
    // After a byte below 0x80 the walk is always at a character start (that
    // byte was a single character or a trail byte); inside a run of high
    // bytes the walk pairs them up, so q is a start when the run before it is even.
    std::size_t k = q;
    while (k > known && bytes[k - 1] >= 0x80) --k;
    if (((q - k) & 1) == 0) {
      if (!ignore_case || trail_bytes_equal(hay.data() + q, needle.data(), needle.size())) return q;
      known = q;
    } else {
      known = q + 1;
    }
    from = q + 1;
  }
}

}  // namespace melodrin::scan
