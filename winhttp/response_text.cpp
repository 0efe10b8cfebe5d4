#include "winhttp/response_text.h"

#include "text/codepage.h"
#include "winhttp/pending_events.h"

namespace melodrin {

namespace {

const Text kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

}  // namespace

Text decode_response_text(const Bytes& body, RegExp& reg_exp) {
  Text text = text_from_bytes(body);
  if (!reg_exp.search(kCharsetPattern, left(text, kCharsetSearchBytes))) return text;

  const Text charset = reg_exp.submatch_text(1, 1);
  // Exact names: "GBK" and "GB2312" do go through the decoder.
  if (!charset.empty() && charset != "gbk" && charset != "gb2312") {
    // A charset the decoder does not know keeps the undecoded text.
    if (std::optional<Text> decoded = decode_to_gbk(body, charset)) text = std::move(*decoded);
  }
  dispatch_pending_events();
  return text;
}

}  // namespace melodrin
