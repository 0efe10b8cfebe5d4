#include <gtest/gtest.h>

#include "app/song_worker.h"
#include "text/codepage.h"

namespace melodrin {
namespace {

TEST(SongReplyTest, CutsTheDocumentOutOfTheReply) {
  using Kind = SongReply::Kind;
  struct Case {
    const char* what;
    Text reply;
    Kind kind;
    SongFields fields;
  };
  const Case cases[] = {
      {"jsonp with all members",
       R"(cb123({"data":{"album_name":"A","author_name":"S","audio_name":"S - T","play_url":"http:\/\/h\/a.mp3"}});)",
       Kind::fields, {"A", "S", "S - T", "http://h/a.mp3"}},
      {"a member missing", R"(cb({"data":{"album_name":"A","audio_name":"T"}});)", Kind::fields, {"A", "", "T", ""}},
      {"');' inside a value", R"(cb({"data":{"album_name":"x);y","author_name":");","audio_name":"t","play_url":"u"}});)",
       Kind::fields, {"xy", "", "t", "u"}},
      {"full-width forms", utf8_to_gbk(R"(cb({"data":{"album_name":"ＡＢＣ　１２３","author_name":"～＊"}});)"),
       Kind::fields, {"ABC 123", "~*", "", ""}},
      {"double-byte text kept", utf8_to_gbk(R"(cb({"data":{"author_name":"周杰伦"}});)"), Kind::fields,
       {"", utf8_to_gbk("周杰伦"), "", ""}},
      {"a second '({' cuts the document", R"(cb({"data":{"album_name":"f({x","author_name":"S"}});)", Kind::fields,
       {"", "", "", ""}},
      // A reply without a callback is the document itself.
      {"no callback", R"({"data":{"album_name":"A"}})", Kind::fields, {"A", "", "", ""}},
      {"empty reply of a failed request", "", Kind::unusable, {}},
      {"not json at all", "<html>busy</html>", Kind::unusable, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SongReply reply = read_song_reply(c.reply);
    EXPECT_EQ(reply.kind, c.kind);
    EXPECT_EQ(reply.fields.album_name, c.fields.album_name);
    EXPECT_EQ(reply.fields.author_name, c.fields.author_name);
    EXPECT_EQ(reply.fields.audio_name, c.fields.audio_name);
    EXPECT_EQ(reply.fields.play_url, c.fields.play_url);
  }
}

TEST(SongReplyTest, ReadsThePlainDocumentsOfTheCurrentApi) {
  using Kind = SongReply::Kind;
  struct Case {
    const char* what;
    Text reply;
    Kind kind;
    SongFields fields;
    Text err_code;
  };
  const Text current =
      R"({"status":1,"err_code":0,"data":{"hash":"5E7A","timelength":334000,"filesize":5349921,)"
      R"("audio_name":"S - T","album_name":"A","album_id":"9","img":"http:\/\/h\/c.jpg","author_name":"S",)"
      R"("song_name":"T","lyrics":"[00:00.78]la","play_url":"https:\/\/h\/a.mp3","bitrate":128,)"
      R"("play_backup_url":"https:\/\/h\/b.mp3"}})";
  const Case cases[] = {
      {"the current shape", current, Kind::fields, {"A", "S", "S - T", "https://h/a.mp3"}, ""},
      {"white space before it", " \r\n\t" + current, Kind::fields, {"A", "S", "S - T", "https://h/a.mp3"}, ""},
      {"');' removed as in the old shape", R"({"data":{"album_name":"a);b"}})", Kind::fields, {"ab", "", "", ""}, ""},
      // Full-width forms are the song's own; only the old shape's cut folded them.
      {"full-width forms kept", utf8_to_gbk(R"({"data":{"album_name":"ＡＢＣ"}})"), Kind::fields,
       {utf8_to_gbk("ＡＢＣ"), "", "", ""}, ""},
      {"a '({' inside a value", R"({"data":{"album_name":"A","lyrics":"[00:01.00]la ({ la"}})", Kind::fields,
       {"A", "", "", ""}, ""},
      {"a paid song without address", R"({"status":1,"data":{"audio_name":"S - T","play_url":""}})", Kind::fields,
       {"", "", "S - T", ""}, ""},
      {"refused without cookies", R"({"status":0,"err_code":20010,"data":[]})", Kind::refused, {}, "20010"},
      {"verification asked", R"({"status":0,"err_code":30020,"data":[]})", Kind::refused, {}, "30020"},
      {"status 0 with a data object", R"({"status":0,"err_code":20028,"data":{"audio_name":"x"}})", Kind::refused,
       {}, "20028"},
      {"status 1 without data object", R"({"status":1,"data":[]})", Kind::refused, {}, ""},
      {"no data at all", R"({"err_code":20010})", Kind::refused, {}, "20010"},
      {"status 0 as text", R"({"status":"0","err_code":"20010","data":{"audio_name":"x"}})", Kind::refused, {},
       "20010"},
      {"no err_code", R"({"status":0,"data":[]})", Kind::refused, {}, ""},
      {"the old shape refused", R"(cb({"status":0,"err_code":20010,"data":[]});)", Kind::refused, {}, "20010"},
      // A document that does not parse is no refusal: the old shape empties the boxes.
      {"a broken document", R"({"status":0,"data":)", Kind::fields, {}, ""},
      {"an array is no document", R"([{"data":{"album_name":"A"}}])", Kind::unusable, {}, ""},
      {"text before the brace", R"(x{"data":{"album_name":"A"}})", Kind::unusable, {}, ""},
      {"only white space", " \r\n", Kind::unusable, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SongReply reply = read_song_reply(c.reply);
    EXPECT_EQ(reply.kind, c.kind);
    EXPECT_EQ(reply.err_code, c.err_code);
    EXPECT_EQ(reply.fields.album_name, c.fields.album_name);
    EXPECT_EQ(reply.fields.author_name, c.fields.author_name);
    EXPECT_EQ(reply.fields.audio_name, c.fields.audio_name);
    EXPECT_EQ(reply.fields.play_url, c.fields.play_url);
  }
}

TEST(SongReplyTest, AUtf8BodyDeclaredInItsContentTypeIsReadAsUtf8) {
  const std::string utf8 = R"({"data":{"album_name":"叶惠美","author_name":"周杰伦"}})";
  const Bytes utf8_body(utf8.begin(), utf8.end());
  const Text gbk = utf8_to_gbk(utf8);
  const Bytes gbk_body(gbk.begin(), gbk.end());
  // What the engine gives without a meta tag: the bytes as they came.
  const Text as_bytes(utf8.begin(), utf8.end());
  Bytes bom_body = {'\xEF', '\xBB', '\xBF'};
  bom_body.insert(bom_body.end(), utf8.begin(), utf8.end());
  const Text bom_as_bytes(bom_body.begin(), bom_body.end());
  const std::string page = R"(<html><head><meta charset="gbk"></head>周杰伦</html>)";
  const Bytes page_body(page.begin(), page.end());
  const Text ok = "HTTP/1.1 200 OK\r\n";

  struct Case {
    const char* what;
    Text header_block;
    Bytes body;
    Text engine_text;
    Text expected;
  };
  const Case cases[] = {
      {"charset=utf-8", ok + "Content-Type: application/json; charset=utf-8\r\n\r\n", utf8_body, as_bytes, gbk},
      {"any letter case", ok + "content-type: application/json;Charset=\"UTF-8\"\r\n\r\n", utf8_body, as_bytes, gbk},
      {"a byte order mark", ok + "Content-Type: text/plain; charset=utf-8\r\n\r\n", bom_body, "", gbk},
      {"a byte order mark alone", ok + "Content-Type: application/json\r\n\r\n", bom_body, bom_as_bytes, gbk},
      {"charset after other parameters", ok + "Content-Type: application/json; q=1;\tcharset=utf-8 \r\n\r\n",
       utf8_body, as_bytes, gbk},
      {"a parameter that ends in charset", ok + "Content-Type: application/json; x-charset=gbk; charset=utf-8\r\n\r\n",
       utf8_body, as_bytes, gbk},
      {"no charset", ok + "Content-Type: application/json\r\n\r\n", utf8_body, as_bytes, as_bytes},
      {"another charset", ok + "Content-Type: text/html; charset=gbk\r\n\r\n", gbk_body, gbk, gbk},
      {"said utf-8, sent gbk", ok + "Content-Type: application/json; charset=utf-8\r\n\r\n", gbk_body, gbk, gbk},
      {"a page's meta tag wins", ok + "Content-Type: text/html; charset=utf-8\r\n\r\n", page_body, "page", "page"},
      {"nothing known but the text", "", {}, "text", "text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SongResponse response(c.engine_text);
    response.header_block = c.header_block;
    response.body = c.body;
    EXPECT_EQ(reply_text(response), c.expected);
  }
}

}  // namespace
}  // namespace melodrin
