#include "json/json_object.h"

#include <charconv>
#include <cmath>
#include <utility>

#include <QByteArray>
#include <QFile>
#include <QString>

#include "text/codepage.h"

namespace melodrin {

namespace {

constexpr char kVarName[] = "da";

// Stands in no ordinary value; its characters are GBK.
constexpr char kValueSeparator[] =
    "[2020\xC4\xEA" "7\xD4\xC2" "20\xC8\xD5" "20\xCA\xB1" "0\xB7\xD6" "0\xC3\xEB]";

// Every read of a value as text turns the backslash placeholder back.
constexpr char kUnplaceholder[] = ".replace(str_reg, '\\\\')";

const Text& engine_script() {
  // Never destroyed: a worker that is never joined may still be making an
  // engine while the process exits.
  static const Text* const script = [] {
    QFile file(QStringLiteral(":/melodrin/json/engine_script.js"));
    if (!file.open(QIODevice::ReadOnly)) return new Text();
    const QByteArray bytes = file.readAll();  // plain ASCII, so GBK as it is
    return new Text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }();
  return *script;
}

// The body of a single-quoted script literal that gives back value. Escaped
// per character as the engine reads the text: byte-wise, a byte that GBK
// cannot pair (0x80, 0xFF, a lone lead byte) would shield the quote or line
// break after it, and the value would run as script.
Text quoted_body(const Text& value) {
  QString string = to_qstring(value);
  // Backslash first, so the escapes added after it stay single.
  string.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
      .replace(QLatin1Char('\''), QLatin1String("\\'"))
      .replace(QLatin1Char('"'), QLatin1String("\\\""))
      .replace(QLatin1Char('\r'), QLatin1String("\\r"))
      .replace(QLatin1Char('\n'), QLatin1String("\\n"));
  return from_qstring(string);
}

Text index_text(long index) { return to_text(index); }

Text number_text(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number < 0 ? "-Infinity" : "Infinity";
  // As "%.13g" writes it, but never with the process locale's decimal comma.
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 13);
  return Text(buffer, result.ptr);
}

Text quoted_plain(const Text& value) { return "'" + value + "'"; }

// The fragment that gives the value at target as JSON text.
Text stringified(const Text& target) { return "JSON.stringify(" + target + ")" + kUnplaceholder; }

}  // namespace

JsonObject::JsonObject() : m_var_name(kVarName) { initialize(); }

JsonObject::JsonObject(std::shared_ptr<ScriptEngine> engine)
    : m_var_name(kVarName), m_engine(std::move(engine)) {}

JsonObject JsonObject::copy() const { return *this; }

void JsonObject::initialize() {
  // One startup text: the engine script, then the document and the backslash
  // placeholder.
  m_engine = ScriptEngine::create(engine_script() + "\nvar " + m_var_name +
                                  " = {}, str_Code = String.fromCharCode(9216), "
                                  "str_reg = new RegExp(str_Code, 'g')");
}

bool JsonObject::parse(const Text& text, bool as_literal) {
  if (m_engine) {
    m_engine.reset();
    initialize();
  }
  if (!m_engine) return false;
  m_engine->eval_ignore("var " + m_var_name + " = null");
  if (as_literal)
    m_engine->add_code("var " + m_var_name + " = " + text);
  else
    m_engine->add_code("var " + m_var_name + " = eval(" + text + ")");
  return m_engine->eval_bool(m_var_name + " != null");
}

bool JsonObject::clear() { return eval_bool(m_var_name + " = {}"); }

Text JsonObject::to_json() const {
  return eval_text(stringified(m_var_name));
}

bool JsonObject::set_value(const Text& path, const Text& value, bool is_json) {
  Text target = path;
  const bool found = resolve_path(target);
  if (is_json) {
    const Text source = value.empty() ? Text("{}") : value;
    const Text tag = eval_text("Object.prototype.toString.call(" + target + ")");
    if (found && tag == "[object Object]")
      return eval_bool(target + " = get__extend(" + target + ", " + source + ")");
    return eval_bool(target + " = eval(" + value + ")");
  }
  return eval_bool(target + " = '" + quoted_body(value) + "'.replace(/\\\\/g, str_Code)");
}

bool JsonObject::set_json(const Text& path, const Text& json) {
  return eval_bool(resolved(path) + " = eval(" + json + ")");
}

bool JsonObject::resolve_path(Text& path) const {
  if (starts_with(path, m_var_name) && eval_bool(path + " != null")) return true;
  if (path.empty())
    path = m_var_name;
  else if (path.front() == '[')
    path = m_var_name + path;
  else
    path = m_var_name + "." + path;
  return eval_bool(path + " != null");
}

bool JsonObject::exists(const Text& path) const {
  Text target = path;
  return resolve_path(target);
}

int JsonObject::type_of(const Text& path) const {
  const Text target = resolved(path);
  if (eval_bool(target + " == null")) return 0;
  const Text tag = eval_text("Object.prototype.toString.call(" + target + ")");
  static const std::pair<const char*, int> kCodes[] = {
      {"[object String]", 6}, {"[object Array]", 5},   {"[object Object]", 4},
      {"[object Number]", 2}, {"[object Boolean]", 1},
  };
  for (const auto& [name, code] : kCodes) {
    if (tag == name) return code;
  }
  return -1;
}

Text JsonObject::get_text(const Text& path, bool as_json) const {
  const Text target = resolved(path);
  if (as_json) return eval_text(stringified(target));
  return eval_text(target + ".toString()" + kUnplaceholder);
}

long JsonObject::member_names(TextArray& names, const Text& path) const {
  names = split(eval_text("get__name_All(" + resolved(path) + ")"), "\r\n");
  return static_cast<long>(names.size());
}

long JsonObject::count(const Text& path) const {
  const double length = eval_number("get__count(" + resolved(path) + ")");
  return std::isfinite(length) ? static_cast<long>(length) : 0;
}

JsonObject JsonObject::get_object(const Text& path) const {
  JsonObject object;
  object.parse(eval_text(stringified(resolved(path))));
  return object;
}

bool JsonObject::array_add(const Text& value, const Text& path, bool is_json, bool at_front) {
  const Text target = resolved(path);
  const Text item = is_json ? value : quoted_plain(value);
  return eval_bool("if (Object.prototype.toString.call(" + target +
                   ") != '[object Array]') { " + target + " = new Array() } " + target +
                   (at_front ? ".unshift(" : ".push(") + item + ")");
}

JsonObject JsonObject::array_get_object(long index, const Text& path) const {
  JsonObject object;
  object.parse(eval_text(stringified(resolved(path) + "[" + index_text(index) + "]")));
  return object;
}

Text JsonObject::array_get_text(long index, const Text& path, bool as_json) const {
  const Text member = resolved(path) + "[" + index_text(index) + "]";
  if (as_json) return eval_text(stringified(member));
  return eval_text(member + kUnplaceholder);
}

bool JsonObject::array_set(long index, const Text& path, const Text& value, bool is_json) {
  const Text item = is_json ? value : quoted_plain(value);
  return eval_bool(resolved(path) + "[" + index_text(index) + "] = " + item);
}

bool JsonObject::array_remove(long index, const Text& path) {
  return eval_bool(resolved(path) + ".splice(" + index_text(index) + ", 1)");
}

bool JsonObject::remove(const Text& path) { return eval_bool("delete " + resolved(path)); }

bool JsonObject::set_number(const Text& path, double number) {
  return eval_bool(resolved(path) + " = " + number_text(number));
}

double JsonObject::get_number(const Text& path) const { return eval_number(resolved(path)); }

Text JsonObject::get_json(const Text& path) const {
  return eval_text(stringified(resolved(path)));
}

std::shared_ptr<ScriptEngine> JsonObject::get_engine() const { return m_engine; }

long JsonObject::node_values(TextArray& values, const Text& path, bool recursive) const {
  const Text target = resolved(path);
  eval_ignore("var str_all = new Array()");
  eval_ignore("get__nodeValue(" + target + ", " + (recursive ? "true" : "false") + ")");
  values = split(eval_text(Text("str_all.join('") + kValueSeparator + "')"), kValueSeparator);
  return static_cast<long>(values.size());
}

Text JsonObject::resolved(const Text& path) const {
  Text target = path;
  resolve_path(target);
  return target;
}

bool JsonObject::eval_bool(const Text& fragment) const {
  return m_engine && m_engine->eval_bool(fragment);
}

Text JsonObject::eval_text(const Text& fragment) const {
  return m_engine ? m_engine->eval_text(fragment) : Text();
}

double JsonObject::eval_number(const Text& fragment) const {
  return m_engine ? m_engine->eval_number(fragment) : 0;
}

void JsonObject::eval_ignore(const Text& fragment) const {
  if (m_engine) m_engine->eval_ignore(fragment);
}

}  // namespace melodrin
