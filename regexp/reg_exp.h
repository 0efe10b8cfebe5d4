// A regular-expression object: one search over a subject text, then reads of
// its matches, capture groups and byte positions, or a replace on the same
// subject. Texts are GBK; the engine works on UTF-16 underneath.
#pragma once

#include <memory>

#include "text/text.h"

namespace melodrin {

class RegExp {
 public:
  RegExp() noexcept;

  // A fresh engine on every call: nothing carries over from the last search.
  // False when the pattern is rejected; true otherwise, also without a match.
  // "." never matches a line break; with quote_marker every "#引号" in the
  // pattern stands for a double quote.
  bool search(const Text& pattern, const Text& subject, bool case_sensitive = false,
              bool multiline = true, bool global = true, bool quote_marker = false);

  // The pattern of the last search (quote marker substituted); "" before it.
  Text pattern_text() const;

  // The subject of the last search with its matches replaced ($1..$99, $&,
  // $`, $', $$); "" when there was no search or its pattern was rejected.
  Text replace(const Text& replacement) const;

  long match_count() const;

  // Indexes are 1-based; "" when there is no such match or group. A position
  // that is given receives the 0-based byte offset of the text in the
  // subject, or -2 when there is no such match or group.
  Text match_text(long match_index, long* position = nullptr) const;
  Text submatch_text(long match_index, long submatch_index, long* position = nullptr) const;

  // Capture groups of the pattern; 0 when there is no match.
  long submatch_count() const;

 private:
  struct State;
  // A copy shares the last search's results until either object searches again.
  std::shared_ptr<const State> m_state;
};

}  // namespace melodrin
