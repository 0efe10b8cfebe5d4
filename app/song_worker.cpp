#include "app/song_worker.h"

#include "json/json_object.h"
#include "text/search.h"

namespace melodrin {

SongReply read_song_reply(const Text& reply) {
  JsonObject json;
  SongReply result;
  const TextArray pieces = split(reply, "({");
  if (pieces.size() < 2) return result;  // nothing to show

  // Everything after a second "({" is dropped, as the reply's shape says.
  Text document = insert_widened(pieces[1], "{", 0);
  document = replace_pairs(document, {{");", ""}});
  json.parse(document);

  result.kind = SongReply::Kind::fields;
  result.fields.album_name = json.get_text("data.album_name");
  result.fields.author_name = json.get_text("data.author_name");
  result.fields.audio_name = json.get_text("data.audio_name");
  result.fields.play_url = json.get_text("data.play_url");
  return result;
}

SongReply run_song_worker(const SongFetch& fetch, const SongRequest& request) {
  return read_song_reply(fetch ? fetch(request) : Text());
}

}  // namespace melodrin
