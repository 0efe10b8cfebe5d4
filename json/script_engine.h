// A JavaScript engine instance with one persistent global scope. Texts cross
// it as GBK; every call is bounded by the watchdog and a failing call gives
// false, the empty text or 0.
#pragma once

#include <memory>
#include <optional>

#include <QJSValue>

#include "text/text.h"

class QJSEngine;
class QString;

namespace melodrin {

class ScriptEngine {
 public:
  // A new, independent instance with no host objects; nullptr when none can
  // be made (the engine needs the process's QCoreApplication). The instance
  // belongs to the calling thread. Making an engine is costly, so it is made
  // on first use, and startup_code runs then as global code before anything
  // else; if the application object is gone by then, every call fails.
  static std::shared_ptr<ScriptEngine> create(Text startup_code = {});

  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // Runs code as global code: its var declarations create or replace
  // globals. False when it does not compile, throws or is interrupted.
  bool add_code(const Text& code);

  // Evaluates an expression in the same global scope; nullopt on failure.
  std::optional<QJSValue> eval(const Text& expression);

  // Booleans as they are, numbers true unless 0, strings "true"/"false" or
  // numeric, objects true; anything else false.
  bool eval_bool(const Text& expression);
  // Strings and numbers in the engine's string form; null and undefined "".
  Text eval_text(const Text& expression);
  // Numbers as they are, booleans 1/0, numeric strings; anything else 0.
  double eval_number(const Text& expression);
  void eval_ignore(const Text& expression);

 private:
  explicit ScriptEngine(Text startup_code);
  QJSEngine* engine();
  std::optional<QJSValue> run(QJSEngine& engine, const QString& source);
  std::optional<QJSValue> run(const Text& source);

  Text m_startup_code;
  std::unique_ptr<QJSEngine> m_engine;
  bool m_failed = false;
};

}  // namespace melodrin
