// The seams' real side: the request engines.
#include "app/download_task.h"
#include "app/song_worker.h"
#include "winhttp/winhttp_request.h"
#include "wininet/wininet_request.h"

namespace melodrin {

SongFetch winhttp_song_fetch() {
  return [](const SongRequest& request) {
    SongResponse response;
    WinHttpArgs args;
    args.url = request.url;
    args.method = 0;
    Text cookies = request.cookies;
    if (!cookies.empty()) args.cookies = &cookies;
    args.headers = request.headers;
    args.returned_headers = &response.header_block;
    args.response_bytes = &response.body;
    response.text = winhttp_request(args);
    return response;
  };
}

DownloadFetch wininet_download_fetch() {
  return [](const Text& url, const FetchCallbacks& callbacks) {
    WinInetOutcome outcome;
    WinInetArgs args;
    args.url = url;
    args.body_sink = callbacks.body;
    args.progress = [&callbacks](std::uint64_t received, std::optional<std::uint64_t> total) {
      return callbacks.progress(received, total ? static_cast<std::int64_t>(*total) : -1);
    };
    args.outcome = &outcome;
    wininet_request(args);

    FetchOutcome result;
    result.status = static_cast<int>(outcome.status);
    result.detail = outcome.error_text;
    if (outcome.cancelled) {
      result.failure = FetchOutcome::Failure::cancelled;
    } else if (outcome.sink_failed) {
      result.failure = FetchOutcome::Failure::sink;
    } else if (!outcome.complete) {
      result.failure = FetchOutcome::Failure::transport;
      if (result.detail.empty()) result.detail = "连接在文件传完之前断开";
    }
    return result;
  };
}

}  // namespace melodrin
