// Bounds every call into a script engine: a fragment still running when its
// time is up is interrupted, so a hostile reply cannot hang its thread.
#pragma once

#include <chrono>

class QJSEngine;

namespace melodrin {

class Watchdog {
 public:
  static constexpr std::chrono::milliseconds kLimit{2000};

  // Watches one call from construction to finish(). One thread serves the
  // whole process; arming and disarming take a lock and rarely a wake-up.
  class Watch {
   public:
    explicit Watch(QJSEngine& engine);
    ~Watch();
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    // Stops watching and re-enables the engine if it was interrupted;
    // returns whether it was.
    bool finish();

   private:
    friend class Watchdog;
    QJSEngine* m_engine;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_fired = false;
    bool m_armed = false;
  };

  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  Watchdog();
  ~Watchdog() = delete;
  static Watchdog& instance();
  void arm(Watch& watch);
  bool disarm(Watch& watch);
  void run();

  struct State;
  State* m_state;
};

}  // namespace melodrin
