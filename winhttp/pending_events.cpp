#include "winhttp/pending_events.h"

#include <QCoreApplication>

namespace melodrin {

void dispatch_pending_events() {
  // Qt serves the current thread's own dispatcher, so a worker thread only
  // runs its own events and a plain thread without one returns at once.
  if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

}  // namespace melodrin
