#include "tests/app/fake_service.h"

#include <map>

#include "text/codepage.h"

namespace melodrin::testing {
namespace {

std::string replaced(std::string text, const std::string& marker, const std::string& value) {
  for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + value.size()))
    text.replace(at, marker.size(), value);
  return text;
}

// Picture and stylesheet first; then a POST to the API prefix and a GET of
// another API path, which must not be captured; then the real GET.
const char* const kSongPage = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>song</title>
<link rel="stylesheet" href="/static/page.css"></head>
<body><img src="/static/cover.png" alt="">
<script>
var api = "https://@API@";
function quietly(url, options) { return fetch(url, options).then(function () {}, function () {}); }
function script(src) {
  var tag = document.createElement("script");
  tag.src = src;
  document.body.appendChild(tag);
}
function ask() {
  var hash = location.hash.replace(/^#hash=/, "");
  quietly(api + "/yy/index.php?r=play/getdata&hash=" + hash, {method: "POST", mode: "no-cors", body: "a=1"})
    .then(function () { return quietly(api + "/yy/other.php?r=play&hash=" + hash, {mode: "no-cors"}); })
    .then(function () {
      @ASK@
      document.title = "asked " + hash;
    });
}
window.addEventListener("load", ask);
window.addEventListener("hashchange", ask);
</script></body></html>)";

const char* const kAskOnce =
    R"(script(api + "/yy/index.php?r=play/getdata&callback=jQuery19&hash=" + hash + "&mid=1&signature=0f3c");)";
const char* const kAskTwice =
    R"(script(api + "/yy/index.php?r=play/getdata&callback=jQuery19&hash=" + hash + "&signature=first");
      script(api + "/yy/index.php?r=play/getdata&callback=jQuery19&hash=" + hash + "&signature=second");)";

// Like the player: the cookie first, its scripts next, then the API.
const char* const kMixsongPage = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>mixsong</title></head>
<body><script>
var api = "https://@API@";
var id = location.pathname.replace(/^.*\/mixsong\//, "").replace(/\.html$/, "");
if (id !== "anonymous") {
  document.cookie = "kg_mid=mid-" + id + "; path=/";
  document.cookie = "page_only=1";  // path /mixsong: not for the API
}
function quietly(url) { return fetch(url).then(function () {}, function () {}); }
window.addEventListener("load", function () {
  quietly("/static/player.js").then(function () {
    var tag = document.createElement("script");
    tag.src = api + "/play/songinfo?srcappid=2919&clientver=20000&appid=1014&encode_album_audio_id=" + id +
              "&signature=5c1f";
    document.body.appendChild(tag);
    document.title = "asked " + id;
  });
});
</script></body></html>)";

std::string query_value(const std::string& query, const std::string& name) {
  const std::string key = name + "=";
  std::size_t at = 0;
  while (at <= query.size()) {
    const std::size_t end = std::min(query.find('&', at), query.size());
    if (query.compare(at, key.size(), key) == 0) return query.substr(at + key.size(), end - at - key.size());
    at = end + 1;
  }
  return {};
}

Response songinfo(const RecordedRequest& request, const std::string& audio) {
  Response response;
  response.headers = {{"Content-Type", "application/json; charset=utf-8"}};
  const std::string id = query_value(request.query, "encode_album_audio_id");
  if (request.header("Cookie").find("kg_mid=") == std::string::npos) {
    response.body = R"({"status":0,"err_code":20010,"data":[]})";
  } else if (id == "verify") {
    response.headers.push_back({"SSA-CODE", "ssa-f3a9c2"});
    response.body = R"({"status":0,"err_code":30020,"data":[]})";
  } else {
    // Raw UTF-8, as the service sends it.
    const std::string play_url = id == "paid" ? "" : audio;
    response.body = R"({"status":1,"err_code":0,"data":{"hash":"5E7A1F","timelength":334000,"filesize":5349921,)"
                    R"("audio_name":"周杰伦 - 晴天","album_name":"叶惠美","album_id":"960399",)"
                    R"("img":"http:\/\/127.0.0.1\/cover.jpg","author_name":"周杰伦","song_name":"晴天",)"
                    R"("lyrics":"[00:00.78]晴天","play_url":")" +
                    play_url + R"(","bitrate":128,"play_backup_url":")" + play_url + R"("}})";
  }
  return response;
}

}  // namespace

void install_fake_service(TestServer& server) {
  const std::string page = replaced(kSongPage, "@API@", server.https_authority());
  server.serve("/song/", "text/html; charset=utf-8", replaced(page, "@ASK@", kAskOnce));
  server.serve("/song/twice", "text/html; charset=utf-8", replaced(page, "@ASK@", kAskTwice));
  server.serve("/static/page.css", "text/css", "body { background: #fff; }");
  server.serve("/static/cover.png", "image/png", "not really a picture");
  server.serve("/static/player.js", "text/javascript", "var player = 1;");
  const std::string mixsong = replaced(kMixsongPage, "@API@", server.https_authority());
  for (const char* id : {"full", "paid", "verify", "anonymous"})
    server.serve(std::string("/mixsong/") + id + ".html", "text/html; charset=utf-8", mixsong);

  const std::string audio = "http:\\/\\/" + server.http_authority() + "\\/bytes?n=4096";
  static const std::map<std::string, std::string> kReplies = {
      {"full", R"({"status":1,"data":{"album_name":"Album A","author_name":"Singer S",)"
               R"("audio_name":"Singer S - Title T","play_url":"@AUDIO@"}});)"},
      // Full-width letters, digits and signs; sent in GBK, the program's code page.
      {"fullwidth", R"({"status":1,"data":{"album_name":"ＡＢＣ１２３！","author_name":"周杰伦",)"
                    R"("audio_name":"Ｔｉｔｌｅ","play_url":"@AUDIO@"}});)"},
      {"paren", R"({"status":1,"data":{"album_name":"a);b","author_name":"x","audio_name":"t);",)"
                R"("play_url":"@AUDIO@"}});)"},
      {"missing", R"({"status":1,"data":{"album_name":"Album A","audio_name":"Title T","play_url":"@AUDIO@"}});)"},
      {"cut", R"({"status":1,"data":{"album_name":"f({x","author_name":"S","audio_name":"T","play_url":"@AUDIO@"}});)"},
  };
  server.route("/yy/index.php", [audio](const RecordedRequest& request) {
    Response response;
    response.headers = {{"Content-Type", "application/json; charset=utf-8"}};
    const std::string callback = query_value(request.query, "callback");
    const auto reply = kReplies.find(query_value(request.query, "hash"));
    if (reply == kReplies.end()) {
      response.body = "<html>no such song</html>";
      return response;
    }
    response.body = (callback.empty() ? "cb" : callback) + "(" + replaced(reply->second, "@AUDIO@", audio);
    if (reply->first == "fullwidth") response.body = utf8_to_gbk(response.body);
    return response;
  });
  server.route("/play/songinfo", [audio](const RecordedRequest& request) { return songinfo(request, audio); });
}

std::string song_page(TestServer& server, const std::string& hash) { return server.http_url("/song/#hash=" + hash); }

std::string mixsong_page(TestServer& server, const std::string& id) {
  return server.http_url("/mixsong/" + id + ".html");
}

}  // namespace melodrin::testing
