#include "app/endpoints.h"

namespace melodrin {

Text Endpoints::api_prefix() const { return concatenate(Text("https://"), api_host, Text("/yy/index.php?")); }

Text Endpoints::songinfo_prefix() const {
  return concatenate(Text("https://"), api_host, Text("/play/songinfo?"));
}

Text Endpoints::home_page() const { return concatenate(Text("https://"), web_host, Text("/")); }

Text Endpoints::song_marker() const { return concatenate(web_host, Text("/song")); }

Text Endpoints::mixsong_marker() const { return concatenate(web_host, Text("/mixsong/")); }

Text Endpoints::announcement_page() const {
  if (announcement_host.empty()) return {};
  return concatenate(Text("https://"), announcement_host, Text("/news/wzxm/20201129/7639.html"));
}

}  // namespace melodrin
