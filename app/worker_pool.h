// Song workers run detached; the pool only counts them so that the program
// can give them a short grace at exit instead of racing them.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace melodrin {

class WorkerPool {
 public:
  WorkerPool();

  // Runs work on a new thread; false when no thread could be started.
  bool start(std::function<void()> work);
  std::size_t running() const;
  // True when no worker is left, waiting at most grace.
  bool wait_idle(std::chrono::milliseconds grace) const;

 private:
  struct State;
  std::shared_ptr<State> m_state;  // shared with the threads, which may outlive the pool
};

}  // namespace melodrin
