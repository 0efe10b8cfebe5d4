#include "app/song_worker.h"

#include "json/json_object.h"
#include "text/codepage.h"
#include "text/search.h"
#include "winhttp/response_text.h"

namespace melodrin {
namespace {

// Header values and parameters may be padded with spaces and tabs.
Text without_padding(const Text& text) {
  const std::size_t from = text.find_first_not_of(" \t");
  if (from == Text::npos) return {};
  return text.substr(from, text.find_last_not_of(" \t") - from + 1);
}

// The charset parameter of the first Content-Type line that has one; a
// parameter that merely ends in "charset" is another one.
bool declares_utf8(const Text& header_block) {
  for (const Text& line : split(header_block, "\r\n")) {
    if (compare(left(line, 13), "content-type:", false) != 0) continue;
    const TextArray parts = split(to_lower(mid(line, 14, length(line))), ";");
    for (std::size_t i = 1; i < parts.size(); ++i) {  // the first is the media type
      const Text parameter = without_padding(parts[i]);
      if (!starts_with(parameter, "charset=")) continue;
      Text charset = without_padding(parameter.substr(8));
      if (!charset.empty() && charset.front() == '"') charset = charset.substr(1, charset.find('"', 1) - 1);
      return charset == "utf-8" || charset == "utf8";
    }
  }
  return false;
}

bool starts_with_bom(const Bytes& body) {
  return body.size() >= 3 && body[0] == '\xEF' && body[1] == '\xBB' && body[2] == '\xBF';
}

// What follows leading white space, if anything.
char first_visible(const Text& text) {
  const std::size_t at = text.find_first_not_of(" \t\r\n");
  return at == Text::npos ? '\0' : text[at];
}

}  // namespace

Text reply_text(const SongResponse& response) {
  // A byte order mark says UTF-8 as plainly as a header does.
  if (response.body.empty() || (!starts_with_bom(response.body) && !declares_utf8(response.header_block)))
    return response.text;
  // The engine's text ends at the first zero byte too.
  const Text raw = text_from_bytes(response.body);
  if (find_folded(left(raw, kCharsetSearchBytes), "<meta", 1, true) != -1) return response.text;
  // A server that says UTF-8 and sends GBK is read the engine's way.
  return strict_utf8_to_gbk(raw).value_or(response.text);
}

SongReply read_song_reply(const Text& reply) {
  JsonObject json;
  SongReply result;
  Text document;
  if (first_visible(reply) == '{') {
    // Plain JSON is the document itself: a JSONP reply starts with its
    // callback, and a "({" in the lyrics must not cut it.
    document = reply;
  } else {
    const TextArray pieces = split(reply, "({");
    if (pieces.size() < 2) return result;  // nothing to show
    // Everything after a second "({" is dropped, as the reply's shape says.
    document = insert_widened(pieces[1], "{", 0);
  }
  document = replace_pairs(document, {{");", ""}});
  const bool parsed = json.parse(document);

  // A refusal has no song in it; its empty members must not empty the boxes.
  constexpr int kObject = 4;
  if (parsed && ((json.type_of("status") != 0 && json.get_text("status") == "0") ||
                 json.type_of("data") != kObject)) {
    result.kind = SongReply::Kind::refused;
    if (json.type_of("err_code") != 0) result.err_code = json.get_text("err_code");
    return result;
  }

  result.kind = SongReply::Kind::fields;
  result.fields.album_name = json.get_text("data.album_name");
  result.fields.author_name = json.get_text("data.author_name");
  result.fields.audio_name = json.get_text("data.audio_name");
  result.fields.play_url = json.get_text("data.play_url");
  return result;
}

SongReply run_song_worker(const SongFetch& fetch, const SongRequest& request) {
  return read_song_reply(fetch ? reply_text(fetch(request)) : Text());
}

}  // namespace melodrin
