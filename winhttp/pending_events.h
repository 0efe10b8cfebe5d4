#pragma once

namespace melodrin {

// Lets the calling thread's queued events run once, without waiting for new
// ones. Does nothing without an application object or on a thread that has
// no event dispatcher.
void dispatch_pending_events();

}  // namespace melodrin
