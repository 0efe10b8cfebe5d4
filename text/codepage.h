// Conversions between GBK texts and other encodings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

class QString;

namespace melodrin {

// UTF-16LE code units of text plus one zero unit (unless dropped); the empty
// byte set for the empty text.
Bytes to_wide_bytes(const Text& text, bool drop_terminator = false);

// GBK text of the UTF-16LE units up to the first zero unit. Composite
// sequences are precomposed first; characters GBK lacks become "?".
Text from_wide_bytes(const Bytes& wide);

// Where texts meet Qt.
QString to_qstring(const Text& text);
Text from_qstring(const QString& string);

// Where texts meet the network, which speaks UTF-8.
std::string gbk_to_utf8(const Text& text);
Text utf8_to_gbk(std::string_view utf8);
// As utf8_to_gbk, with a leading byte order mark dropped; nullopt when the
// bytes are not well-formed UTF-8.
std::optional<Text> strict_utf8_to_gbk(std::string_view utf8);

// Decodes bytes in a charset a page declares; nullopt when the decoder does
// not know the charset.
std::optional<Text> decode_to_gbk(const Bytes& bytes, const Text& charset);

}  // namespace melodrin
