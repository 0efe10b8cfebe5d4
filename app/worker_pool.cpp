#include "app/worker_pool.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <vector>

namespace melodrin {

struct WorkerPool::State {
  mutable std::mutex mutex;
  std::condition_variable idle;
  std::size_t running = 0;
  std::vector<std::thread::id> finished;  // past their work, not yet joined
};

WorkerPool::WorkerPool() : m_state(std::make_shared<State>()) {}

WorkerPool::~WorkerPool() {
  join_finished();
  // A worker stuck in its request keeps the state alive by itself.
  for (auto& [id, thread] : m_threads) thread.detach();
}

bool WorkerPool::start(std::function<void()> work) {
  join_finished();
  {
    std::lock_guard lock(m_state->mutex);
    ++m_state->running;
  }
  try {
    std::thread thread([state = m_state, work = std::move(work)]() mutable {
      work();
      work = nullptr;  // its captures go on this thread, before the worker counts as done
      std::lock_guard lock(state->mutex);
      state->finished.push_back(std::this_thread::get_id());
      if (--state->running == 0) state->idle.notify_all();
    });
    const std::thread::id id = thread.get_id();
    m_threads.emplace(id, std::move(thread));
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

bool WorkerPool::wait_idle(std::chrono::milliseconds grace) {
  bool idle;
  {
    std::unique_lock lock(m_state->mutex);
    idle = m_state->idle.wait_for(lock, grace, [this] { return m_state->running == 0; });
  }
  join_finished();
  return idle;
}

void WorkerPool::join_finished() {
  std::vector<std::thread::id> finished;
  {
    std::lock_guard lock(m_state->mutex);
    finished.swap(m_state->finished);
  }
  // These are past their work: each join waits only for the thread's exit.
  for (const std::thread::id id : finished) {
    const auto found = m_threads.find(id);
    if (found == m_threads.end()) continue;
    found->second.join();
    m_threads.erase(found);
  }
}

}  // namespace melodrin
