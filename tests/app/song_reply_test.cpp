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
      {"no callback", R"({"data":{"album_name":"A"}})", Kind::unusable, {}},
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

}  // namespace
}  // namespace melodrin
