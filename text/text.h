// Text and byte-set primitives.
//
// A Text is a GBK (code page 936) byte string. Lengths, positions and counts
// are in bytes, positions are 1-based and -1 means "not found". A byte of
// 0x80 or more starts a double-byte character; "character-wise" walks step
// over such a pair as one unit. Out-of-range arguments give empty results,
// never a failure.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace melodrin {

using Text = std::string;
using Bytes = std::vector<char>;
using TextArray = std::vector<Text>;  // element 1 of the text array is [0]

// --- texts ---------------------------------------------------------------

long length(const Text& text);
Text left(const Text& text, long n);
Text right(const Text& text, long n);
Text mid(const Text& text, long start, long n);

// Forward search. A start of 0 or below counts as 1; a start past the end
// leaves an empty region. An empty sought gives 1 for a non-empty region.
long find(const Text& text, const Text& sought, long start = 1, bool ignore_case = false);

// Last occurrence that lies wholly inside the first start - 1 bytes. A start
// left out searches the whole text; a start of 0 or below searches nothing.
long find_backwards(const Text& text, const Text& sought, std::optional<long> start = std::nullopt,
                    bool ignore_case = false);

// Count left out replaces every occurrence; a count of 0 replaces none.
Text replace_subtexts(const Text& text, const Text& sought, const Text& replacement = {},
                      long start = 1, std::optional<long> count = std::nullopt,
                      bool case_sensitive = false);

Text replace_at(const Text& text, long start, long length,
                const std::optional<Text>& replacement = std::nullopt);

// A maximum left out means no limit; a negative maximum counts as 0.
TextArray split(const Text& text, const Text& separator = ",",
                std::optional<long> max_pieces = std::nullopt);

Text to_full_width(const Text& text);
Text to_half_width(const Text& text);
Text trim(const Text& text);  // ASCII spaces and full-width spaces (A1 A1)
Text to_upper(const Text& text);
Text to_lower(const Text& text);
int compare(const Text& a, const Text& b, bool case_sensitive);
int equal(const Text& a, const Text& b);  // byte-wise: -1, 0 or 1
bool starts_with(const Text& text, const Text& prefix);
int char_code(const Text& text, long position = 1);  // signed byte, 0 outside
Text char_from_code(int code);
Text blank(long n);
long long to_integer(const Text& text);
Text to_text(long long number);

template <typename... Parts>
Text concatenate(const Parts&... parts) {
  Text out;
  (out.append(parts), ...);
  return out;
}

// --- byte sets -------------------------------------------------------------

long byte_length(const Bytes& bytes);
Bytes left_bytes(const Bytes& bytes, long n);
Bytes mid_bytes(const Bytes& bytes, long start, long n);
Bytes blank_bytes(long n);
Bytes concatenate_bytes(const std::vector<Bytes>& parts);
int compare_bytes(const Bytes& a, const Bytes& b, long count);
Bytes text_to_bytes(const Text& text);
Text text_from_bytes(const Bytes& bytes);  // up to the first zero byte

}  // namespace melodrin
