// One download into a file: the fetch runs on a thread of its own and
// streams the body into a temporary file beside the target, which replaces
// the target only when the whole body of a 2xx answer arrived. Meanwhile a
// modal progress dialog shows bytes and total and offers Cancel, and the
// windows keep painting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <QString>

#include "text/text.h"

class QWidget;

namespace melodrin {

struct FetchOutcome {
  enum class Failure {
    none,
    transport,  // no answer, or the connection broke; detail says why
    cancelled,  // the progress callback asked to stop
    sink,       // the body callback refused the bytes
  };
  Failure failure = Failure::none;
  int status = 0;  // status code of the final answer; 0 when none came
  Text detail;
};

struct FetchCallbacks {
  // False stops the fetch.
  std::function<bool(const char* data, std::size_t size)> body;
  // total is -1 when the answer does not say; false cancels.
  std::function<bool(std::uint64_t received, std::int64_t total)> progress;
};

// The request engine's call: GET url, body and progress through callbacks.
using DownloadFetch = std::function<FetchOutcome(const Text& url, const FetchCallbacks& callbacks)>;

// wininet_request with its body sink and progress callback.
DownloadFetch wininet_download_fetch();

struct DownloadResult {
  enum class Kind {
    saved,
    cancelled,
    transport,
    status,
    incomplete,
    write,
    no_thread,  // the system refused the thread the fetch runs on
  };
  Kind kind = Kind::saved;
  QString detail;
  std::uint64_t received = 0;
  std::int64_t total = -1;

  // What to tell the user about a failure; "" for saved and cancelled.
  QString message(const QString& target) const;
};

class DownloadTask {
 public:
  DownloadTask(DownloadFetch fetch, Text url, QString target);

  // Blocks in a local event loop until the fetch has ended.
  DownloadResult run(QWidget* owner);

 private:
  DownloadResult fetch_into_file(const std::function<void(std::uint64_t, std::int64_t)>& report,
                                 const std::function<bool()>& cancelled);

  DownloadFetch m_fetch;
  Text m_url;
  QString m_target;
};

}  // namespace melodrin
