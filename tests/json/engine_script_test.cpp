// The functions every JSON engine is loaded with, called as the object's
// fragments call them.
#include <gtest/gtest.h>

#include "json/json_object.h"
#include "json/script_engine.h"

namespace melodrin {
namespace {

class EngineScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_engine); }

  JsonObject m_object;
  std::shared_ptr<ScriptEngine> m_engine = m_object.get_engine();
};

TEST_F(EngineScriptTest, EvaluatesLikeTheObjectRelyOn) {
  struct Case {
    const char* expression;
    const char* text;
  };
  static const Case kCases[] = {
      // Loaded from the library's resource.
      {"typeof get__nodeValue + typeof get__count + typeof get__name_All + typeof get__extend",
       "functionfunctionfunctionfunction"},
      // The prototype methods are enumerable, so for-in meets them.
      {"var k = []; for (var n in {a: 1}) k.push(n); k.join()", "a,toJSONString,parseJSON"},
      {"var k = []; for (var n in [7]) k.push(n); k.join()", "0,toJSONString,parseJSON"},
      {"({a: [1, 'x']}).toJSONString()", "{\"a\":[1,\"x\"]}"},
      {"'[1,2]'.parseJSON()[1]", "2"},
      {"get__name_All({a: 1, b: {c: 2}, f: function () {}})", "a\r\nb"},
      {"get__name_All({})", ""},
      {"get__name_All([1, 2])", ""},
      {"get__name_All('ab')", ""},
      {"get__name_All(null)", ""},
      {"get__count([1, 2, 3])", "3"},
      {"get__count({length: 3})", "0"},
      {"get__count('abc')", "0"},
      {"get__count(null)", "0"},
      {"var str_all = []; get__nodeValue({s: 'x', n: 1, z: null, o: {t: true}, d: new Date(0)}, "
       "false).join('|')",
       "x|1"},
      {"var str_all = []; get__nodeValue({s: 'x', o: {t: true, a: [2]}, n: 1}, true).join('|')",
       "x|true|2|1"},
      {"JSON.stringify(get__extend({s: 'a', o: {x: 1}, a: [1]}, {s: 'b', o: {y: 2}, a: [2], "
       "m: 3}))",
       "{\"s\":\"b\",\"o\":{\"x\":1,\"y\":2},\"a\":[1,2],\"m\":3}"},
      // A number member takes the source's value, as strings and booleans do.
      {"JSON.stringify(get__extend({n: 1, b: true}, {n: {k: 2}, b: 5}))",
       "{\"n\":{\"k\":2},\"b\":5}"},
      {"JSON.stringify(get__extend([1], {a: 2}))", "[1]"},
      {"JSON.stringify(get__extend([1], null))", "[1]"},
      {"JSON.stringify(str_Code + '\\n')", "\"?\\n\""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expression);
    EXPECT_EQ(m_engine->eval_text(c.expression), c.text);
  }
}

TEST_F(EngineScriptTest, FailsWhereTheMergeOrTheValueListCannotGoOn) {
  JsonObject fresh;
  EXPECT_FALSE(fresh.get_engine()->eval("get__nodeValue({a: 'x'}, false)"));
  EXPECT_FALSE(m_engine->eval("get__extend({a: null}, {a: {b: 1}})"));
  // The members before the failing one stay merged.
  m_engine->eval_ignore("var t = {z: null}; get__extend(t, {a: 'x', z: {b: 1}})");
  EXPECT_EQ(m_engine->eval_text("JSON.stringify(t)"), "{\"z\":null,\"a\":\"x\"}");
}

}  // namespace
}  // namespace melodrin
