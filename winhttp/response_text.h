// The response body as GBK text, re-decoded when the page declares another
// charset in a meta tag near its start.
#pragma once

#include "regexp/reg_exp.h"
#include "text/text.h"

namespace melodrin {

// How far into a body a meta tag's charset counts.
inline constexpr long kCharsetSearchBytes = 1024;

// The body up to its first zero byte, unless a "<meta ... charset=" within
// the first kCharsetSearchBytes bytes names a charset other than "gbk" or "gb2312" that the
// decoder knows: then the whole body decoded in it. reg_exp is the request's
// own expression object.
Text decode_response_text(const Bytes& body, RegExp& reg_exp);

}  // namespace melodrin
