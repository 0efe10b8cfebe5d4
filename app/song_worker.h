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

// The request engine's call; "" when the request failed.
using SongFetch = std::function<Text(const SongRequest&)>;

// winhttp_request with the request's address as a GET.
SongFetch winhttp_song_fetch();

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
  };
  Kind kind = Kind::unusable;
  SongFields fields;
};

// Cuts the document out of a JSONP reply and reads the fields. Makes its JSON
// object on the calling thread.
SongReply read_song_reply(const Text& reply);

// The worker's whole run.
SongReply run_song_worker(const SongFetch& fetch, const SongRequest& request);

}  // namespace melodrin
