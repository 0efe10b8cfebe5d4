// One synchronous HTTP(S) request that returns the raw response body. Used
// for downloads: the body can also stream to a sink with progress reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "text/text.h"

namespace melodrin {

// Why a call ended as it did; the result alone cannot tell.
struct WinInetOutcome {
  bool complete = false;     // the whole body arrived
  long status = 0;           // status of the final response; 0 when none came
  bool cancelled = false;    // progress asked to stop
  bool sink_failed = false;  // body_sink refused a piece
  std::string error_text{};    // what went wrong in the transfer; "" when nothing

  bool succeeded() const { return complete && status >= 200 && status < 300; }
};

// The arguments in their order, then the extras. Out-parameters point at the
// caller's variables; nullptr leaves one out.
struct WinInetArgs {
  Text url{};                          // "http://" or "https://"; no scheme counts as http
  int method = 0;                    // GET POST HEAD PUT OPTIONS DELETE TRACE CONNECT; others GET
  Text post_text{};                    // the body for a method other than 0 when post_bytes is empty
  Text* cookies = nullptr;           // supplied when not null (even pointing at ""): the
                                     // library keeps no cookies; takes the merge
  Text* returned_cookies = nullptr;  // the response's cookies (merged with cookies)
  Text headers{};                      // extra request lines, CR LF separated
  Text* returned_headers = nullptr;  // the final response's raw block
  bool no_redirect = false;
  Bytes* post_bytes = nullptr;       // the body; receives post_text's bytes when empty
  Text proxy{};                        // host:port; empty: direct
  bool merge_cookies = true;         // only when cookies is supplied
  bool complete_headers = true;      // add the default lines headers lacks
  bool normalize_headers = true;     // capitalise header names first

  // Called while the body arrives (and while the transfer waits) with the
  // bytes received so far and the announced length; false cancels.
  std::function<bool(std::uint64_t received, std::optional<std::uint64_t> total)> progress{};
  // Receives the body piece by piece instead of the result; false stops.
  std::function<bool(const char* data, std::size_t size)> body_sink{};
  WinInetOutcome* outcome = nullptr;
};

// The body as received, also of an error status, and up to where a broken
// transfer ended; empty when no request could be made, and with a body_sink.
Bytes wininet_request(const WinInetArgs& args);

}  // namespace melodrin
