// Cookie texts: name=value items joined by "; ", no attributes, no separator
// after the last item. The program keeps no cookie store; callers carry the
// text from one request to the next.
#pragma once

#include "text/text.h"

namespace melodrin {

// The text of an item before its first "=", trimmed; the whole item when it
// has no "=".
Text cookie_name(const Text& item);

bool has_cookie_named(const TextArray& items, const Text& name);

// 1-based position of the first item exactly equal to text; -1 when absent.
long find_in_list(const TextArray& list, const Text& text);

// Drops every piece that repeats an earlier one exactly.
Text remove_duplicate_items(const Text& text, const Text& separator);

// Folds new_cookies into old_cookies: a name received again takes its new
// value and moves to the front group, "name=deleted" removes the name, the
// rest keeps its old order behind. Both variables are left trimmed; the
// result is also stored into old_cookies.
Text merge_cookie_text(Text& old_cookies, Text& new_cookies);

// Appends the name=value of every "Set-Cookie: " line of a response header
// block to cookies, each followed by "; ", then removes the "; " behind the
// last item (also one cookies already ended with).
void collect_set_cookies(const TextArray& lines, Text& cookies);

}  // namespace melodrin
