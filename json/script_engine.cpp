#include "json/script_engine.h"

#include <new>
#include <utility>

#include <QCoreApplication>
#include <QJSEngine>
#include <QStringList>

#include "json/watchdog.h"
#include "text/codepage.h"

namespace melodrin {

namespace {

std::optional<double> number_from_string(const QString& string) {
  const QString trimmed = string.trimmed();
  if (trimmed.isEmpty()) return std::nullopt;
  bool ok = false;
  const double value = trimmed.toDouble(&ok);  // C locale, whatever the process locale
  if (!ok) return std::nullopt;
  return value;
}

}  // namespace

std::shared_ptr<ScriptEngine> ScriptEngine::create(Text startup_code) {
  if (!QCoreApplication::instance()) return nullptr;
  try {
    return std::shared_ptr<ScriptEngine>(new ScriptEngine(std::move(startup_code)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

ScriptEngine::ScriptEngine(Text startup_code) : m_startup_code(std::move(startup_code)) {}

ScriptEngine::~ScriptEngine() = default;

QJSEngine* ScriptEngine::engine() {
  if (m_engine || m_failed) return m_engine.get();
  // QJSEngine aborts the process without the application object, which may
  // be gone by the time a worker first uses an engine it made earlier.
  if (!QCoreApplication::instance()) {
    m_failed = true;
    return nullptr;
  }
  try {
    m_engine = std::make_unique<QJSEngine>();
  } catch (const std::bad_alloc&) {
    m_failed = true;
    return nullptr;
  }
  if (!m_startup_code.empty()) run(*m_engine, to_qstring(m_startup_code));
  m_startup_code = Text();
  return m_engine.get();
}

std::optional<QJSValue> ScriptEngine::run(QJSEngine& engine, const QString& source) {
  QStringList trace;  // filled exactly when something was thrown
  Watchdog::Watch watch(engine);
  QJSValue value = engine.evaluate(source, QString(), 1, &trace);
  const bool interrupted = watch.finish();
  if (interrupted || !trace.isEmpty()) return std::nullopt;
  return value;
}

std::optional<QJSValue> ScriptEngine::run(const Text& source) {
  QJSEngine* const instance = engine();
  if (!instance) return std::nullopt;
  return run(*instance, to_qstring(source));
}

bool ScriptEngine::add_code(const Text& code) { return run(code).has_value(); }

std::optional<QJSValue> ScriptEngine::eval(const Text& expression) { return run(expression); }

bool ScriptEngine::eval_bool(const Text& expression) {
  const auto value = eval(expression);
  if (!value) return false;
  if (value->isBool()) return value->toBool();
  if (value->isNumber()) return value->toNumber() != 0.0;
  if (value->isString()) {
    const QString string = value->toString().trimmed();
    if (string.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    if (string.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
    const auto number = number_from_string(string);
    return number && *number != 0.0;
  }
  if (value->isNull() || value->isUndefined()) return false;
  return value->isObject();
}

Text ScriptEngine::eval_text(const Text& expression) {
  const auto value = eval(expression);
  if (!value || value->isNull() || value->isUndefined()) return {};
  return from_qstring(value->toString());
}

double ScriptEngine::eval_number(const Text& expression) {
  const auto value = eval(expression);
  if (!value) return 0;
  if (value->isNumber()) return value->toNumber();
  if (value->isBool()) return value->toBool() ? 1 : 0;
  if (value->isString()) return number_from_string(value->toString()).value_or(0);
  return 0;
}

void ScriptEngine::eval_ignore(const Text& expression) { run(expression); }

}  // namespace melodrin
