#include "json/watchdog.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <QJSEngine>

namespace melodrin {

using Clock = std::chrono::steady_clock;

struct Watchdog::State {
  std::mutex mutex;
  std::condition_variable wake;
  std::vector<Watch*> watches;
  // When the thread wakes next on its own; a watch due earlier must wake it.
  Clock::time_point wake_at = Clock::time_point::max();
};

Watchdog::Watch::Watch(QJSEngine& engine)
    : m_engine(&engine), m_deadline(Clock::now() + kLimit) {
  Watchdog::instance().arm(*this);
}

Watchdog::Watch::~Watch() { finish(); }

bool Watchdog::Watch::finish() {
  if (!m_armed) return m_fired;
  if (Watchdog::instance().disarm(*this)) m_engine->setInterrupted(false);
  return m_fired;
}

Watchdog::Watchdog() : m_state(new State) {
  m_state->watches.reserve(16);
  std::thread([this] { run(); }).detach();
}

Watchdog& Watchdog::instance() {
  // Never destroyed: workers that are never joined may still be inside a
  // call while the process exits.
  static Watchdog* const watchdog = new Watchdog;
  return *watchdog;
}

void Watchdog::arm(Watch& watch) {
  std::lock_guard lock(m_state->mutex);
  m_state->watches.push_back(&watch);
  watch.m_armed = true;
  // Calls follow each other within the limit, so the thread is usually
  // already due to wake before this deadline and needs no signal.
  if (watch.m_deadline < m_state->wake_at) {
    m_state->wake_at = watch.m_deadline;
    m_state->wake.notify_one();
  }
}

bool Watchdog::disarm(Watch& watch) {
  std::lock_guard lock(m_state->mutex);
  auto& watches = m_state->watches;
  auto it = std::find(watches.begin(), watches.end(), &watch);
  if (it != watches.end()) {
    *it = watches.back();
    watches.pop_back();
  }
  watch.m_armed = false;
  return watch.m_fired;
}

void Watchdog::run() {
  std::unique_lock lock(m_state->mutex);
  for (;;) {
    const auto now = Clock::now();
    auto next = Clock::time_point::max();
    for (Watch* watch : m_state->watches) {
      if (watch->m_fired) continue;
      if (watch->m_deadline <= now) {
        // Under the lock, so the call cannot end and free its engine meanwhile.
        watch->m_engine->setInterrupted(true);
        watch->m_fired = true;
      } else {
        next = std::min(next, watch->m_deadline);
      }
    }
    m_state->wake_at = next;
    if (next == Clock::time_point::max())
      m_state->wake.wait(lock);
    else
      m_state->wake.wait_until(lock, next);
  }
}

}  // namespace melodrin
