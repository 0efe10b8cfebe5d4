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
//
// The current shapes: /mixsong/<id>.html sets the kg_mid cookie (but for
// "anonymous") and asks /play/songinfo?, which answers plain JSON in UTF-8
// and refuses without kg_mid (20010). Ids: "full", "paid" (no play_url),
// "verify" (30020 with an SSA-CODE header), "anonymous".
void install_fake_service(TestServer& server);

// http://127.0.0.1:P/song/#hash=<hash>
std::string song_page(TestServer& server, const std::string& hash);

// http://127.0.0.1:P/mixsong/<id>.html
std::string mixsong_page(TestServer& server, const std::string& id);

}  // namespace melodrin::testing
