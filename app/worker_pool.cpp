#include "app/worker_pool.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace melodrin {

struct WorkerPool::State {
  mutable std::mutex mutex;
  mutable std::condition_variable idle;
  std::size_t running = 0;
};

WorkerPool::WorkerPool() : m_state(std::make_shared<State>()) {}

bool WorkerPool::start(std::function<void()> work) {
  {
    std::lock_guard lock(m_state->mutex);
    ++m_state->running;
  }
  try {
    std::thread([state = m_state, work = std::move(work)] {
      work();
      std::lock_guard lock(state->mutex);
      if (--state->running == 0) state->idle.notify_all();
    }).detach();
    return true;
  } catch (const std::system_error&) {
    std::lock_guard lock(m_state->mutex);
    if (--m_state->running == 0) m_state->idle.notify_all();
    return false;
  }
}

std::size_t WorkerPool::running() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->running;
}

bool WorkerPool::wait_idle(std::chrono::milliseconds grace) const {
  std::unique_lock lock(m_state->mutex);
  return m_state->idle.wait_for(lock, grace, [this] { return m_state->running == 0; });
}

}  // namespace melodrin
