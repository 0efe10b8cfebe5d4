// The fake service on the loopback server: song pages whose scripts issue
// the web-API request the way the service's player page does, and the API
// answering by the page's hash.
#pragma once

#include <string>

#include "tests/support/test_server.h"

namespace melodrin::testing {

// Routes: /song/ (asks once on load and on every hashchange), /song/twice
// (asks twice), /static/page.css, /static/cover.png, /yy/index.php.
// The API answers the hash of the request ("full", "fullwidth", "paren",
// "missing", "cut", "nojsonp").
void install_fake_service(TestServer& server);

// http://127.0.0.1:P/song/#hash=<hash>
std::string song_page(TestServer& server, const std::string& hash);

}  // namespace melodrin::testing
