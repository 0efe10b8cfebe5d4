#include "json/json_object.h"

#include <cmath>
#include <functional>
#include <memory>
#include <limits>
#include <thread>
#include <vector>

#include <QThread>

#include <gtest/gtest.h>

#include "text/codepage.h"

namespace melodrin {
namespace {

JsonObject parsed(const Text& json) {
  JsonObject object;
  EXPECT_TRUE(object.parse(json)) << json;
  return object;
}

const char kSong[] =
    R"({"data":{"album_name":"A","audio_name":"x\/y","n":12,"f":1.5,"t":true,"z":null,)"
    R"("o":{"k":1},"arr":[1,"two"]},"list":[{"name":"n0"},{"name":"n1"}]})";
const char kSongCompact[] =
    R"({"data":{"album_name":"A","audio_name":"x/y","n":12,"f":1.5,"t":true,"z":null,)"
    R"("o":{"k":1},"arr":[1,"two"]},"list":[{"name":"n0"},{"name":"n1"}]})";

TEST(JsonObjectTest, ReadsTextsAtPaths) {
  struct Case {
    const char* path;
    bool as_json;
    const char* text;
  };
  static const Case kCases[] = {
      {"data.audio_name", false, "x/y"},
      {"data.album_name", true, "\"A\""},
      {"data.n", false, "12"},
      {"data.n", true, "12"},
      {"data.f", false, "1.5"},
      {"data.t", false, "true"},
      {"data.z", false, ""},
      {"data.z", true, "null"},
      {"data.missing", false, ""},
      {"data.missing", true, ""},
      {"no.such.member", false, ""},
      {"no.such.member", true, ""},
      {"data.o", false, "[object Object]"},
      {"data.o", true, "{\"k\":1}"},
      {"data.arr", false, "1,two"},
      {"data.arr", true, "[1,\"two\"]"},
      {"list[1].name", false, "n1"},
      {"da.data.album_name", false, "A"},
      {"", true, kSongCompact},
      {"da", true, kSongCompact},
  };
  const JsonObject object = parsed(kSong);
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.path << (c.as_json ? " as json" : ""));
    EXPECT_EQ(object.get_text(c.path, c.as_json), c.text);
  }
}

TEST(JsonObjectTest, ResolvesPathsAgainstTheDocument) {
  struct Case {
    const char* path;
    bool found;
    const char* resolved;
  };
  static const Case kCases[] = {
      {"", true, "da"},
      {"da", true, "da"},
      {"data.n", true, "da.data.n"},  // begins with "da" but is no global
      {"da.data.n", true, "da.data.n"},
      {"da.data.missing", false, "da.da.data.missing"},
      {"[0]", false, "da[0]"},
      {"list", false, "da.list"},
  };
  const JsonObject object = parsed(R"({"data":{"n":1}})");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    Text path = c.path;
    EXPECT_EQ(object.resolve_path(path), c.found);
    EXPECT_EQ(path, c.resolved);
    EXPECT_EQ(object.exists(c.path), c.found);
  }
}

TEST(JsonObjectTest, ParsesTextAsScript) {
  struct Case {
    const char* text;
    bool as_literal;
    bool result;
    const char* document;
  };
  static const Case kCases[] = {
      {"", false, false, ""},  // eval() gives undefined
      {"", true, false, "null"},
      {"null", false, false, "null"},
      {"null", true, false, "null"},
      {R"({"a":1})", false, true, R"({"a":1})"},
      {R"({"a":1})", true, true, R"({"a":1})"},
      {"[1,2]", false, true, "[1,2]"},
      // A string holding a document is evaluated once more, unless literal.
      {R"("[1,{\"b\":2}]")", false, true, R"([1,{"b":2}])"},
      {R"("[1,{\"b\":2}]")", true, true, R"("[1,{\"b\":2}]")"},
      {R"x("({\"a\":1})")x", false, true, R"({"a":1})"},
      {"'abc'", false, false, "null"},
      {"'abc'", true, true, "\"abc\""},
      {"{", false, false, "null"},
      {R"({"a":1} trailing)", false, false, "null"},
      {R"((function () { return {"a": [1]} })())", false, true, R"({"a":[1]})"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.text << (c.as_literal ? " literal" : ""));
    JsonObject object;
    object.set_value("left", "over");
    EXPECT_EQ(object.parse(c.text, c.as_literal), c.result);
    EXPECT_EQ(object.get_text("", true), c.document);
  }
}

TEST(JsonObjectTest, ReadsADocumentThatIsAnArray) {
  const JsonObject object = parsed(R"([{"name":"n0"},5])");
  EXPECT_EQ(object.get_text("[0].name"), "n0");
  EXPECT_EQ(object.get_text("[1]"), "5");
  EXPECT_EQ(object.count(), 2);
  EXPECT_EQ(object.type_of(), 5);
}

TEST(JsonObjectTest, CopiesShareTheEngineUntilTheyParse) {
  JsonObject first = parsed(R"({"a":"old"})");
  JsonObject second = first.copy();
  JsonObject third = first;
  second.set_value("a", "new");
  third.set_value("b", "3");
  EXPECT_EQ(first.get_text("a"), "new");
  EXPECT_EQ(first.get_text("b"), "3");

  EXPECT_TRUE(second.parse(R"({"a":"other"})"));
  EXPECT_EQ(second.get_text("a"), "other");
  EXPECT_EQ(first.get_text("a"), "new");
  EXPECT_EQ(third.get_text("a"), "new");
  EXPECT_EQ(first.get_engine(), third.get_engine());
  EXPECT_NE(first.get_engine(), second.get_engine());
}

TEST(JsonObjectTest, TurnsTheBackslashPlaceholderBackOnEveryTextRead) {
  JsonObject object = parsed(R"({"parsed":"a\u2400b","escaped":"a\\b"})");
  object.set_value("stored", "C:\\dir\\file");
  struct Case {
    const char* path;
    const char* text;
    const char* json;
  };
  static const Case kCases[] = {
      {"parsed", "a\\b", "\"a\\b\""},
      {"stored", "C:\\dir\\file", "\"C:\\dir\\file\""},
      // A backslash from the document's own escapes is an ordinary one.
      {"escaped", "a\\b", "\"a\\\\b\""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(object.get_text(c.path), c.text);
    EXPECT_EQ(object.get_json(c.path), c.json);
    EXPECT_EQ(object.get_text(c.path, true), c.json);
  }
  EXPECT_EQ(object.to_json(),
            R"({"parsed":"a\b","escaped":"a\\b","stored":"C:\dir\file"})");
  TextArray values;
  object.node_values(values);
  EXPECT_EQ(values, (TextArray{"a?b", "a\\b", "C:?dir?file"}));
}

TEST(JsonObjectTest, StoresPlainTextsUnchanged) {
  // 0x81 0x5C, one GBK character whose second byte is a backslash, comes
  // last: a backslash escaped there would eat the closing quote.
  const Text value = "back\\slash 'single' \"double\" cr\r lf\n " + utf8_to_gbk("年") + "\x81\x5C";
  JsonObject object;
  object.set_value("v", value);
  EXPECT_EQ(object.get_text("v"), value);
  EXPECT_EQ(object.to_json(), "{\"v\":\"back\\slash 'single' \\\"double\\\" cr\\r lf\\n " +
                                  utf8_to_gbk("年") + "\x81\x5C\"}");
  object.set_value("", "whole");
  EXPECT_EQ(object.get_text(), "whole");
  EXPECT_FALSE(object.set_value("no.parent", "x"));
}

TEST(JsonObjectTest, KeepsPlainTextsWithUnpairedBytesInsideTheLiteral) {
  // A byte GBK cannot pair must not shield the quote or line break after it,
  // or the rest of the value runs as script.
  struct Case {
    const char* value;
    const char* text;
  };
  static const Case kCases[] = {
      {"\x80'+(da.ran=1)//", "\x80'+(da.ran=1)//"},
      {"\xFF'+(da.ran=1)//", "\xFF'+(da.ran=1)//"},
      {"\x81'+(da.ran=1)//", "?'+(da.ran=1)//"},  // a lead byte without its trail
      {"\x80\r\n\x80\\\x80\"", "\x80\r\n\x80\\\x80\""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    JsonObject object;
    object.set_value("v", c.value);
    EXPECT_EQ(object.get_text("v"), c.text);
    EXPECT_EQ(object.type_of("ran"), 0);
  }
}

TEST(JsonObjectTest, WritesJsonByMergingIntoObjectsAndAssigningElsewhere) {
  struct Case {
    const char* document;
    const char* path;
    const char* value;
    bool fails;
    const char* after;
  };
  static const Case kCases[] = {
      {R"({"o":{"s":"a","b":true,"n":1,"arr":[1],"sub":{"x":1}}})", "o",
       R"({"s":"b","b":false,"n":2,"arr":[2,3],"sub":{"y":2},"new":"z"})", false,
       R"({"o":{"s":"b","b":false,"n":2,"arr":[1,2,3],"sub":{"x":1,"y":2},"new":"z"}})"},
      {R"({"a":1})", "", R"({"b":2})", false, R"({"a":1,"b":2})"},
      {R"({"s":"a"})", "s", R"({"k":1})", false, R"({"s":{"k":1}})"},
      {R"({"n":1})", "n", "[1,2]", false, R"({"n":[1,2]})"},
      {R"({})", "m", "5", false, R"({"m":5})"},
      // The value is script: a string literal is evaluated once more.
      {R"({})", "m", R"('"text"')", false, R"({"m":"text"})"},
      {R"({"o":{"a":1}})", "o", "", false, R"({"o":{"a":1}})"},
      {R"({"s":"a","t":1})", "s", "", false, R"({"t":1})"},
      // An array member takes nothing from a null, and the merge goes on.
      {R"({"o":{"a":[1],"s":"x"}})", "o", R"({"a":null,"s":"y"})", false,
       R"({"o":{"a":[1],"s":"y"}})"},
      // A null member stops the merge after the members before it.
      {R"({"o":{"z":null}})", "o", R"({"a":"x","z":{"c":1}})", true, R"({"o":{"z":null,"a":"x"}})"},
      {R"({})", "no.parent", "1", true, R"({})"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.document << " at '" << c.path << "' <- " << c.value);
    JsonObject object = parsed(c.document);
    const bool result = object.set_value(c.path, c.value, true);
    if (c.fails) EXPECT_FALSE(result);
    EXPECT_EQ(object.to_json(), c.after);
  }
}

TEST(JsonObjectTest, SetJsonAssignsEvaluatedScript) {
  JsonObject object = parsed(R"({"a":1})");
  EXPECT_TRUE(object.set_json("b", R"({"c":[true]})"));
  object.set_json("a", "\"'two'\"");
  EXPECT_FALSE(object.set_json("no.parent", "1"));
  EXPECT_EQ(object.to_json(), R"({"a":"two","b":{"c":[true]}})");
}

TEST(JsonObjectTest, TellsTypes) {
  struct Case {
    const char* path;
    int type;
  };
  static const Case kCases[] = {
      {"s", 6},  {"a", 5},       {"o", 4},  {"n", 2},  {"b", 1},
      {"z", 0},  {"missing", 0}, {"", 4},   {"f", -1}, {"d", -1},
      {"missing.deeper", -1},  // the null test itself fails
  };
  JsonObject object = parsed(R"({"s":"x","a":[],"o":{},"n":1,"b":false,"z":null})");
  object.set_json("f", "(function () {})");
  object.set_json("d", "new Date(0)");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(object.type_of(c.path), c.type);
  }
}

TEST(JsonObjectTest, CountsArraysAndNamesObjectMembers) {
  struct Case {
    const char* path;
    long count;
    TextArray names;
  };
  const Case kCases[] = {
      {"a", 3, {}},        {"o", 0, {"x", "y"}}, {"e", 0, {}},     {"s", 0, {}},
      {"missing", 0, {}},  {"no.such", 0, {}},   {"", 0, {"a", "o", "e", "s"}},
  };
  JsonObject object = parsed(R"({"a":[1,2,3],"o":{"x":1,"y":{"z":2}},"e":{},"s":"abc"})");
  object.set_json("o.f", "(function () {})");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(object.count(c.path), c.count);
    TextArray names{"stale"};
    EXPECT_EQ(object.member_names(names, c.path), static_cast<long>(c.names.size()));
    EXPECT_EQ(names, c.names);
  }
}

TEST(JsonObjectTest, CollectsLeafValues) {
  struct Case {
    const char* document;
    const char* path;
    bool recursive;
    TextArray values;
  };
  const char* const kMixed =
      R"({"s":"str","n":1.5,"b":true,"z":null,"o":{"x":"in","deep":{"y":2}},"a":[3,"four"],"t":"last"})";
  const Case kCases[] = {
      {kMixed, "", false, {"str", "1.5", "true", "last"}},
      {kMixed, "", true, {"str", "1.5", "true", "in", "2", "3", "four", "last"}},
      {kMixed, "o", true, {"in", "2"}},
      {kMixed, "a", false, {"3", "four"}},
      {kMixed, "missing", true, {}},
      {R"({"a":"","b":"x"})", "", false, {"", "x"}},
      {R"({"a":"x","b":""})", "", false, {"x"}},  // an empty last value gives no piece
      {R"({"s":"年"})", "", false, {utf8_to_gbk("年")}},
      // The separator is a fixed text: a value that holds it falls apart.
      {R"({"s":"a[2020年7月20日20时0分0秒]b","n":1})", "", false, {"a", "b", "1"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.document << " at '" << c.path << "'"
                                    << (c.recursive ? " recursive" : ""));
    const JsonObject object = parsed(utf8_to_gbk(c.document));
    TextArray values{"stale"};
    EXPECT_EQ(object.node_values(values, c.path, c.recursive), static_cast<long>(c.values.size()));
    EXPECT_EQ(values, c.values);
  }
}

TEST(JsonObjectTest, AddsToArrays) {
  struct Case {
    const char* document;
    const char* value;
    const char* path;
    bool is_json;
    bool at_front;
    const char* after;
  };
  static const Case kCases[] = {
      {R"({"n":5})", "x", "n", false, false, R"({"n":["x"]})"},
      {R"({"a":[1]})", "x", "a", false, true, R"({"a":["x",1]})"},
      {R"({"a":[1]})", R"({"k":2})", "a", true, false, R"({"a":[1,{"k":2}]})"},
      {R"({})", "7", "new", true, false, R"({"new":[7]})"},
      {"[]", "x", "", false, false, R"(["x"])"},
      // A quote in a plain value breaks the fragment: nothing is written.
      {R"({"n":5})", "it's", "n", false, false, R"({"n":5})"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.document << " <- " << c.value);
    JsonObject object = parsed(c.document);
    object.array_add(c.value, c.path, c.is_json, c.at_front);
    EXPECT_EQ(object.to_json(), c.after);
  }
}

TEST(JsonObjectTest, ReadsArrayMembers) {
  struct Case {
    long index;
    const char* text;
    const char* json;
  };
  static const Case kCases[] = {
      {0, "", "1"},  // the plain read takes strings only
      {1, "two", "\"two\""},
      {2, "", "{\"k\":3}"},
      {3, "", "null"},
      {9, "", ""},
      {-1, "", ""},
  };
  const JsonObject object = parsed(R"({"a":[1,"two",{"k":3},null]})");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(object.array_get_text(c.index, "a"), c.text);
    EXPECT_EQ(object.array_get_text(c.index, "a", true), c.json);
  }
}

TEST(JsonObjectTest, SetsAndRemovesArrayMembers) {
  struct Case {
    const char* action;
    long index;
    const char* path;
    const char* value;
    bool is_json;
    const char* after;
  };
  static const Case kCases[] = {
      {"set", 0, "a", "x", false, R"({"a":["x",2,3],"o":{}})"},
      {"set", 4, "a", "true", true, R"({"a":[1,2,3,null,true],"o":{}})"},
      {"set", 2, "o", "v", false, R"({"a":[1,2,3],"o":{"2":"v"}})"},
      {"set", 0, "a", "it's", false, R"({"a":[1,2,3],"o":{}})"},
      {"remove", 0, "a", "", false, R"({"a":[2,3],"o":{}})"},
      {"remove", 5, "a", "", false, R"({"a":[1,2,3],"o":{}})"},
      {"remove", 0, "missing", "", false, R"({"a":[1,2,3],"o":{}})"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.action << " " << c.path << "[" << c.index << "]");
    JsonObject object = parsed(R"({"a":[1,2,3],"o":{}})");
    if (Text(c.action) == "set")
      object.array_set(c.index, c.path, c.value, c.is_json);
    else
      object.array_remove(c.index, c.path);
    EXPECT_EQ(object.to_json(), c.after);
  }
}

TEST(JsonObjectTest, RemovesMembers) {
  JsonObject object = parsed(R"({"a":1,"b":{"c":2,"d":3}})");
  EXPECT_TRUE(object.remove("a"));
  EXPECT_TRUE(object.remove("b.c"));
  EXPECT_FALSE(object.remove("no.such"));
  EXPECT_EQ(object.to_json(), R"({"b":{"d":3}})");
  object.clear();
  EXPECT_EQ(object.to_json(), "{}");
}

TEST(JsonObjectTest, WritesNumbersWithThirteenSignificantDigits) {
  struct Case {
    double number;
    const char* text;
  };
  static const Case kCases[] = {
      {0.1, "0.1"},
      {-2.5, "-2.5"},
      {0, "0"},
      {1234567890.123456, "1234567890.123"},
      {1.0 / 3, "0.3333333333333"},
      {12345678901234567.0, "12345678901230000"},
      {1e21, "1e+21"},
      {std::numeric_limits<double>::infinity(), "Infinity"},
      {-std::numeric_limits<double>::infinity(), "-Infinity"},
      {std::nan(""), "NaN"},
  };
  JsonObject object;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    object.set_number("n", c.number);
    EXPECT_EQ(object.get_text("n"), c.text);
  }
}

TEST(JsonObjectTest, ReadsNumbers) {
  struct Case {
    const char* path;
    double number;
  };
  static const Case kCases[] = {
      {"n", 12.5}, {"s", 7},       {"bad", 0},       {"t", 1}, {"z", 0},
      {"o", 0},    {"missing", 0}, {"missing.x", 0},
  };
  const JsonObject object = parsed(R"({"n":12.5,"s":"7","bad":"x","t":true,"z":null,"o":{}})");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(object.get_number(c.path), c.number);
  }
}

TEST(JsonObjectTest, TakesPartsOutAsIndependentObjects) {
  const JsonObject source = parsed(R"({"data":{"a":"x","list":[1,{"b":2}]}})");
  JsonObject part = source.get_object("data");
  EXPECT_EQ(part.to_json(), source.get_json("data"));
  EXPECT_NE(part.get_engine(), source.get_engine());
  part.set_value("a", "changed");
  EXPECT_EQ(source.get_text("data.a"), "x");

  const JsonObject item = source.array_get_object(1, "data.list");
  EXPECT_EQ(item.to_json(), R"({"b":2})");

  const JsonObject missing = source.get_object("no.such");
  EXPECT_FALSE(missing.exists());
  EXPECT_EQ(missing.to_json(), "");
  EXPECT_EQ(missing.get_text("a"), "");
}

TEST(JsonObjectTest, HandsOutTheEngineBeyondTheObjectsLife) {
  std::shared_ptr<ScriptEngine> engine;
  {
    const JsonObject object = parsed(R"({"a":"kept"})");
    engine = object.get_engine();
  }
  ASSERT_TRUE(engine);
  EXPECT_EQ(engine->eval_text("da.a"), "kept");
  const JsonObject over(engine);
  EXPECT_EQ(over.get_text("a"), "kept");
}

TEST(JsonObjectTest, WithoutAnEngineGivesEmptyResults) {
  JsonObject object(nullptr);
  EXPECT_FALSE(object.parse(R"({"a":1})"));
  EXPECT_FALSE(object.get_engine());  // parse does not make one
  EXPECT_EQ(object.get_text("a"), "");
  EXPECT_EQ(object.to_json(), "");
  EXPECT_FALSE(object.exists());
  EXPECT_EQ(object.type_of("a"), -1);
  EXPECT_EQ(object.count("a"), 0);
  EXPECT_EQ(object.get_number("a"), 0);
  EXPECT_FALSE(object.set_value("a", "x"));
  TextArray texts{"stale"};
  EXPECT_EQ(object.member_names(texts), 0);
  EXPECT_TRUE(texts.empty());
  texts = {"stale"};
  EXPECT_EQ(object.node_values(texts), 0);
  EXPECT_TRUE(texts.empty());
  EXPECT_FALSE(object.copy().get_engine());
  EXPECT_FALSE(object.get_object().exists());
}

TEST(JsonObjectTest, WorksWhereverItIsMade) {
  using Runner = void (*)(const std::function<void()>&);
  struct Case {
    const char* name;
    Runner run;
  };
  static const Case kCases[] = {
      {"std::thread", [](const std::function<void()>& body) { std::thread(body).join(); }},
      {"QThread",
       [](const std::function<void()>& body) {
         std::unique_ptr<QThread> thread(QThread::create(body));
         thread->start();
         thread->wait();
       }},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Text text;
    c.run([&text] {
      JsonObject object;
      object.parse(utf8_to_gbk(R"({"data":{"audio_name":"歌"}})"));
      text = object.get_text("data.audio_name");
    });
    EXPECT_EQ(text, utf8_to_gbk("歌"));
  }
}

TEST(JsonObjectTest, ObjectsOnDifferentThreadsShareNothing) {
  std::vector<Text> results(4);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&results, i] {
      JsonObject object;
      object.parse("{\"n\":" + to_text(static_cast<long long>(i)) + "}");
      for (int round = 0; round < 20; ++round) object.get_text("n");
      results[i] = object.get_text("n");
    });
  }
  for (auto& thread : threads) thread.join();
  for (std::size_t i = 0; i < results.size(); ++i)
    EXPECT_EQ(results[i], to_text(static_cast<long long>(i)));
}

}  // namespace
}  // namespace melodrin
