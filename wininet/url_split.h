// Host, port and object path cut out of an address by plain text searches;
// no URL grammar. An address without scheme counts as "http://".
#pragma once

#include "text/text.h"

namespace melodrin {

// Lower-cased host; with its ":port" suffix only when keep_port.
Text url_host(const Text& url, bool keep_port = false);

// The explicit port (leading digits after the last ":" of the host, 0 when
// there are none), else 443 for "https" and 80 for anything else.
long url_port(const Text& url);

// Path and query as written in url, from the first "/" after the host; "/"
// when there is none.
Text url_path(const Text& url);

}  // namespace melodrin
