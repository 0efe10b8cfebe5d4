#include "json/script_engine.h"

#include <cstdlib>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "text/codepage.h"

namespace melodrin {
namespace {

TEST(ScriptEngineTest, CoercesEachWayAndGivesEmptyResultsOnFailure) {
  struct Case {
    const char* expression;
    bool succeeds;
    bool as_bool;
    const char* as_text;
    double as_number;
  };
  static const Case kCases[] = {
      {"true", true, true, "true", 1},
      {"false", true, false, "false", 0},
      {"0", true, false, "0", 0},
      {"2.5", true, true, "2.5", 2.5},
      {"'true'", true, true, "true", 0},
      {"'False'", true, false, "False", 0},
      {"' 12 '", true, true, " 12 ", 12},
      {"'0'", true, false, "0", 0},
      {"'abc'", true, false, "abc", 0},
      {"''", true, false, "", 0},
      {"null", true, false, "", 0},
      {"undefined", true, false, "", 0},
      {"({})", true, true, "[object Object]", 0},
      {"[1, 2]", true, true, "1,2", 0},
      // A thrown value that is no Error object is still a failure.
      {"throw 1", false, false, "", 0},
      {"throw 'true'", false, false, "", 0},
      {"(function () { throw new Error('x') })()", false, false, "", 0},
      {"1 +", false, false, "", 0},
      {"no_such_global", false, false, "", 0},
      {"null.member", false, false, "", 0},
  };
  const auto engine = ScriptEngine::create();
  ASSERT_TRUE(engine);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(engine->eval(c.expression).has_value(), c.succeeds);
    EXPECT_EQ(engine->eval_bool(c.expression), c.as_bool);
    EXPECT_EQ(engine->eval_text(c.expression), c.as_text);
    EXPECT_EQ(engine->eval_number(c.expression), c.as_number);
  }
}

TEST(ScriptEngineTest, KeepsOneGlobalScopePerInstance) {
  const auto engine = ScriptEngine::create();
  const auto other = ScriptEngine::create();
  ASSERT_TRUE(engine && other);
  EXPECT_TRUE(engine->add_code("var x = 1; function next() { return x + 1 }"));
  engine->eval_ignore("var y = next()");
  EXPECT_EQ(engine->eval_number("y"), 2);
  // What a failing fragment changed before its error stays changed.
  engine->eval_ignore("x = 7; throw 1");
  EXPECT_EQ(engine->eval_number("next()"), 8);
  EXPECT_FALSE(engine->add_code("var z = ;"));
  EXPECT_EQ(other->eval_text("typeof x"), "undefined");
}

TEST(ScriptEngineTest, TextsCrossAsGbk) {
  const auto engine = ScriptEngine::create();
  ASSERT_TRUE(engine);
  const Text year = utf8_to_gbk("年");
  // 0x81 0x5C is one character whose second byte is a backslash.
  const Text trail_backslash = "\x81\x5C";
  EXPECT_EQ(engine->eval_text("'" + year + "'"), year);
  EXPECT_EQ(engine->eval_number("'" + year + trail_backslash + "'.length"), 2);
  EXPECT_EQ(engine->eval_text("'" + trail_backslash + "'"), trail_backslash);
  EXPECT_EQ(engine->eval_number("'" + year + "'.charCodeAt(0)"), 0x5E74);
  // A character GBK lacks.
  EXPECT_EQ(engine->eval_text("String.fromCharCode(9216)"), "?");
}

TEST(ScriptEngineTest, OffersNoHostObjects) {
  static const char* const kNames[] = {"Qt",      "print",   "console", "gc",
                                       "qsTr",    "require", "XMLHttpRequest",
                                       "process", "importScripts"};
  const auto engine = ScriptEngine::create();
  ASSERT_TRUE(engine);
  for (const char* name : kNames) {
    SCOPED_TRACE(name);
    EXPECT_EQ(engine->eval_text(Text("typeof ") + name), "undefined");
  }
}

TEST(ScriptEngineDeathTest, FirstUseAfterTheApplicationObjectIsGoneDoesNotAbort) {
  // A worker may first use an engine it made while the program is ending.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const auto engine = ScriptEngine::create();
        // The child ends below, so main's application object is not ended twice.
        QCoreApplication::instance()->~QCoreApplication();
        if (engine) engine->eval_text("'x'");
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace melodrin
