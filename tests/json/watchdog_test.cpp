// A runaway fragment is interrupted and its call gives the empty result;
// the engine then works again.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "json/json_object.h"
#include "json/script_engine.h"

namespace melodrin {
namespace {

using namespace std::chrono_literals;

// The exit test leaves detached workers holding their engines on purpose;
// the leak checker must not count those.
std::atomic<bool> g_engines_left_at_exit{false};

// Runs each body on a thread of its own, all at once; tells for each whether
// it returned within a bound far above the watchdog's limit. A body that
// hangs is left running so that the test can report it.
std::vector<bool> run_bounded(const std::vector<std::function<void()>>& bodies) {
  std::vector<std::future<void>> done;
  std::vector<std::thread> threads;
  for (const auto& body : bodies) {
    std::promise<void> promise;
    done.push_back(promise.get_future());
    threads.emplace_back([body, promise = std::move(promise)]() mutable {
      body();
      promise.set_value();
    });
  }
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  std::vector<bool> returned;
  for (std::size_t i = 0; i < threads.size(); ++i) {
    returned.push_back(done[i].wait_until(deadline) == std::future_status::ready);
    if (returned.back())
      threads[i].join();
    else
      threads[i].detach();
  }
  return returned;
}

const char* const kRunaways[] = {
    "(function(){while(true){}})()",
    "(function(){for(;;){try{for(;;){}}catch(e){}}})()",
    "[3, 2, 1].sort(function(){for(;;){}})",
};

TEST(WatchdogTest, InterruptsEveryKindOfCall) {
  using Call = bool (*)(ScriptEngine&, const Text&);  // true when the call failed
  static const Call kAddCode = [](ScriptEngine& e, const Text& code) { return !e.add_code(code); };
  static const Call kEval = [](ScriptEngine& e, const Text& code) { return !e.eval(code); };
  static const Call kEvalBool = [](ScriptEngine& e, const Text& code) {
    return !e.eval_bool("!" + code);
  };
  static const Call kEvalText = [](ScriptEngine& e, const Text& code) {
    return e.eval_text("'x' + " + code).empty();
  };
  static const Call kEvalNumber = [](ScriptEngine& e, const Text& code) {
    return e.eval_number("1 + " + code) == 0;
  };
  struct Case {
    const char* name;
    Call call;
    const char* runaway;
  };
  static const Case kCases[] = {
      {"add_code", kAddCode, kRunaways[0]},       {"eval", kEval, kRunaways[0]},
      {"eval_bool", kEvalBool, kRunaways[0]},     {"eval_text", kEvalText, kRunaways[0]},
      {"eval_number", kEvalNumber, kRunaways[0]}, {"eval", kEval, kRunaways[1]},
      {"eval", kEval, kRunaways[2]},
  };
  std::vector<int> failed(std::size(kCases), -1);
  std::vector<double> after(std::size(kCases), 0);
  std::vector<std::function<void()>> bodies;
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    bodies.push_back([&c = kCases[i], &failed = failed[i], &after = after[i]] {
      const auto engine = ScriptEngine::create();
      failed = c.call(*engine, c.runaway);
      after = engine->eval_number("1 + 1");
    });
  }
  const std::vector<bool> returned = run_bounded(bodies);
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(testing::Message() << kCases[i].name << ": " << kCases[i].runaway);
    ASSERT_TRUE(returned[i]);
    EXPECT_EQ(failed[i], 1);
    EXPECT_EQ(after[i], 2);
  }
}

TEST(WatchdogTest, ParseOfARunawayReplyFailsAndTheObjectStaysUsable) {
  struct Outcome {
    bool parsed = true;
    bool set = true;
    Text before_parse, after_parse;
  };
  std::vector<Outcome> outcomes(std::size(kRunaways));
  std::vector<std::function<void()>> bodies;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    bodies.push_back([&outcome = outcomes[i], runaway = kRunaways[i]] {
      JsonObject object;
      object.set_value("a", "kept");
      outcome.set = object.set_json("b", runaway);
      outcome.before_parse = object.get_text("a");
      outcome.parsed = object.parse(runaway);
      object.parse(R"({"data":{"play_url":"http://127.0.0.1/a.mp3"}})");
      outcome.after_parse = object.get_text("data.play_url");
    });
  }
  const std::vector<bool> returned = run_bounded(bodies);
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    SCOPED_TRACE(kRunaways[i]);
    ASSERT_TRUE(returned[i]);
    EXPECT_FALSE(outcomes[i].set);
    EXPECT_EQ(outcomes[i].before_parse, "kept");
    EXPECT_FALSE(outcomes[i].parsed);
    EXPECT_EQ(outcomes[i].after_parse, "http://127.0.0.1/a.mp3");
  }
}

TEST(WatchdogTest, LeavesCallsAloneThatEndInTime) {
  // Each call runs a good while, the series longer than the limit: a
  // deadline left over from an earlier call must not cut a later one.
  const auto engine = ScriptEngine::create();
  ASSERT_TRUE(engine);
  engine->add_code(
      "function busy(ms) { var end = Date.now() + ms; while (Date.now() < end) {} return 'ok' }");
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(engine->eval_text("busy(500)"), "ok");
  }
}

TEST(WatchdogDeathTest, ProcessExitsCleanlyWhileWorkersAreInsideCalls) {
  // Workers are never joined: the process may end while one is stopped by
  // the watchdog and another is making engines.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        g_engines_left_at_exit = true;
        std::thread([] {
          JsonObject object;
          for (;;) object.parse(kRunaways[0]);
        }).detach();
        std::thread([] {
          for (;;) {
            JsonObject object;
            object.parse(R"({"a":1})");
            object.get_text("a");
          }
        }).detach();
        std::this_thread::sleep_for(300ms);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace melodrin

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __lsan_is_turned_off() { return melodrin::g_engines_left_at_exit ? 1 : 0; }
#endif
