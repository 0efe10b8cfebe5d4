// Request header blocks: lines "Name: value" separated by CR LF.
#pragma once

#include "text/text.h"

namespace melodrin {

// Drops pieces without ":" (empty ones too) and gives every word of a header
// name a capital first letter; values are left as they are. No CR LF after
// the last line.
Text normalize_header_block(const Text& header_block);

// The value of the first line that begins with header_name (letter case
// counts): what follows the last "header_name: " in that line; "" when none.
Text header_value(const Text& header_block, const Text& header_name);

// What follows the last occurrence of marker; "" when it does not occur.
Text text_after(const Text& text, const Text& marker);

// The block the WinHttp engine sends: the caller's headers, the default
// lines they lack (when complete_headers), normalised (when
// normalize_headers), without a keep-alive line in the middle, and with a
// Cookie line for cookies unless the block already carries one.
Text assemble_request_headers(const Text& headers, int method, const Text& cookies,
                              bool complete_headers = true, bool normalize_headers = true);

}  // namespace melodrin
