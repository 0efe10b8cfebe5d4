// The song-info worker: repeats a captured API request and reads the four
// song fields out of the reply. Runs on a thread of its own; touches no widget.
#pragma once

#include <functional>

#include "text/text.h"

namespace melodrin {

// What the worker repeats; each worker has its own copy.
struct SongRequest {
  Text url;
  Text cookies;  // cookie text for the API host; "" sends none
  Text headers;  // extra header lines, CR LF separated
};

// What the request engine hands back. A bare text converts: a reply whose
// header block and bytes nobody knows.
struct SongResponse {
  SongResponse() = default;
  SongResponse(Text decoded) : text(std::move(decoded)) {}  // NOLINT: implicit on purpose

  Text text;          // the body as the engine decoded it; "" when the request failed
  Text header_block;  // the final response's raw header block
  Bytes body;         // the body as it came
};

// The request engine's call.
using SongFetch = std::function<SongResponse(const SongRequest&)>;

// winhttp_request with the request's address as a GET, plus its cookies and
// header lines when it has any.
SongFetch winhttp_song_fetch();

// The engine reads a body as GBK unless a page declares a charset in a meta
// tag. A UTF-8 body that says so only in its Content-Type line, or by a byte
// order mark, is decoded here; anything else keeps the engine's text.
Text reply_text(const SongResponse& response);

struct SongFields {
  Text album_name;
  Text author_name;
  Text audio_name;
  Text play_url;
};

struct SongReply {
  enum class Kind {
    unusable,  // nothing to show: no document in the reply
    fields,    // the four fields, each "" when missing
    refused,   // the service answered, but with no song: "status" 0 or no "data" object
  };
  Kind kind = Kind::unusable;
  SongFields fields;
  Text err_code;  // of a refusal; "" when the reply names none
};

// Reads a JSONP reply, or a reply that is the JSON document itself. Makes
// its JSON object on the calling thread.
SongReply read_song_reply(const Text& reply);

// The worker's whole run.
SongReply run_song_worker(const SongFetch& fetch, const SongRequest& request);

}  // namespace melodrin
