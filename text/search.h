// Searches and extractions used on addresses and header texts.
#pragma once

#include <initializer_list>
#include <optional>
#include <utility>

#include "text/text.h"

namespace melodrin {

// Byte-wise search (a match may begin on a trailing byte); -1 for an empty
// text or an empty sought. A start of 0 counts as 1.
long find_folded(const Text& text, const Text& sought, long start = 1, bool ignore_case = false);

// A negative start searches backwards from the end.
Text text_before(const Text& text, const Text& marker, long start = 1, bool ignore_case = false);

// Every "#引号" in text, a caller's way of writing a double quote inside a
// marker or pattern, becomes a double quote.
Text replace_quote_marker(const Text& text);

// "#引号" in either marker stands for a double quote.
Text text_between(const Text& text, const Text& left, const Text& right, long start = 1,
                  bool ignore_case = false);

Text capitalize_first(const Text& text);

// Puts insertion in front of text, the whole passed through full width and
// back, so full-width forms already in the text come out as ASCII.
Text insert_widened(const Text& text, const Text& insertion, long position);

using ReplacePair = std::pair<Text, Text>;  // sought, replacement

// Up to five replace passes, in order, each with the same count, start and
// case rule. A pair whose sought text is empty changes nothing.
Text replace_pairs(const Text& text, std::initializer_list<ReplacePair> pairs,
                   std::optional<long> count = std::nullopt, long start = 1,
                   bool case_sensitive = false);

}  // namespace melodrin
