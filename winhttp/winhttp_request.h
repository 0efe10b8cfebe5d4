// One synchronous HTTP(S) request that returns the response body as GBK text
// and names its failures in status_text.
#pragma once

#include "text/text.h"

namespace melodrin {

// A method index outside 0..7 counts as 0.
int clamp_method(int method);
// "GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT".
const char* method_name(int method);

// The arguments in their order. Out-parameters point at the caller's
// variables; nullptr leaves one out. A call that fails before the response
// header block is read writes nothing but status_text.
struct WinHttpArgs {
  Text url{};                          // with its scheme, http or https
  int method = 0;                    // GET POST HEAD PUT OPTIONS DELETE TRACE CONNECT; others GET
  Text post_text{};                    // the body when post_bytes is empty
  Text* cookies = nullptr;           // sent; takes the merged cookie text when merged
  Text* returned_cookies = nullptr;  // the response's cookies, appended
  Text headers{};                      // extra request lines, CR LF separated
  Text* returned_headers = nullptr;  // the final response's raw block
  bool no_redirect = false;
  Text user_name{};                    // Basic credentials at the server, when both given
  Text password{};
  Text proxy{};                        // host:port; empty: direct
  Text proxy_user{};                   // Basic credentials at the proxy, when both given
  Text proxy_password{};
  int timeout_seconds = 0;           // every phase; below 1 means 30
  Text* location = nullptr;          // written only when a Location line came
  Text* status_text = nullptr;       // "200 OK", or a numbered failure message
  Bytes* response_bytes = nullptr;   // the whole body
  bool merge_cookies = true;         // merge the returned cookies into cookies
  bool complete_headers = true;      // add the default lines headers lacks
  Bytes post_bytes{};                  // the body; wins over post_text when not empty
  bool normalize_headers = true;     // capitalise header names first
};

// The body as text after charset decoding; "" on every failure.
Text winhttp_request(const WinHttpArgs& args);

}  // namespace melodrin
