// The hosts the program talks to. Only main() knows the real values; tests
// put the loopback server in their place.
#pragma once

#include "text/text.h"

namespace melodrin {

struct Endpoints {
  Text web_host;           // the service's web site, e.g. "www.kugou.com"
  Text api_host;           // the service's web API, e.g. "wwwapi.kugou.com"
  Text announcement_host;  // the maker's news site; empty: nothing is opened

  // "https://" + API host + "/yy/index.php?": what a captured request holds.
  Text api_prefix() const;
  // "https://" + API host + "/play/songinfo?": the player's current request.
  Text songinfo_prefix() const;
  // "https://" + web host + "/".
  Text home_page() const;
  // Web host + "/song": a picker address holding it is a song page.
  Text song_marker() const;
  // Web host + "/mixsong/": song pages at their current addresses.
  Text mixsong_marker() const;
  // "" when there is no announcement host.
  Text announcement_page() const;
};

}  // namespace melodrin
