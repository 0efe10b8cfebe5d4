// How worker threads reach the UI thread: calls posted to a target object,
// dropped once the target has closed the channel. Workers hold it shared,
// so a late worker never posts to a destroyed window.
#pragma once

#include <functional>
#include <mutex>

class QObject;

namespace melodrin {

class UiChannel {
 public:
  explicit UiChannel(QObject* target) : m_target(target) {}

  // Runs call later on the target's thread, in the order posted.
  void post(std::function<void()> call);
  // After this, posts are dropped; calls already posted die with the target.
  void close();

 private:
  std::mutex m_mutex;
  QObject* m_target;
};

}  // namespace melodrin
