// Song workers run on threads of their own; the pool counts them so that the
// program can give them a short grace at exit instead of racing them, and
// joins each one that has finished, so none is still exiting when the
// program tears down.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <thread>

namespace melodrin {

class WorkerPool {
 public:
  WorkerPool();
  // Joins the finished workers; one still running is left to end with the process.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Runs work on a new thread; false when no thread could be started.
  bool start(std::function<void()> work);
  std::size_t running() const;
  // True when no worker is left, waiting at most grace; the finished ones
  // are joined either way.
  bool wait_idle(std::chrono::milliseconds grace);

 private:
  void join_finished();

  struct State;
  std::shared_ptr<State> m_state;  // shared with the threads, which may outlive the pool
  std::map<std::thread::id, std::thread> m_threads;  // touched by the owner's thread only
};

}  // namespace melodrin
