// A JSON document held in a script engine and addressed by member paths such
// as "data.play_url". Every operation hands a short fragment to the engine;
// failures give false, the empty text, 0 or an object without a document.
#pragma once

#include <memory>

#include "json/script_engine.h"
#include "text/text.h"

namespace melodrin {

class JsonObject {
 public:
  // var_name "da" and a fresh engine (none when it cannot be made).
  JsonObject();
  // var_name "da" over an engine someone else holds (get_engine), or none.
  explicit JsonObject(std::shared_ptr<ScriptEngine> engine);

  // Copies share the engine, its globals and the document, as copy() does.
  JsonObject(const JsonObject&) = default;
  JsonObject& operator=(const JsonObject&) = default;
  JsonObject(JsonObject&&) noexcept = default;
  JsonObject& operator=(JsonObject&&) noexcept = default;
  ~JsonObject() = default;

  JsonObject copy() const;
  void initialize();
  // The text is script: read through eval, or assigned as it is. A new
  // engine each time; true when the document is not null afterwards.
  bool parse(const Text& text, bool as_literal = false);
  bool clear();
  Text to_json() const;
  bool set_value(const Text& path = {}, const Text& value = {}, bool is_json = false);
  bool set_json(const Text& path = {}, const Text& json = {});
  // Makes path start with var_name; true when it names a value.
  bool resolve_path(Text& path) const;
  bool exists(const Text& path = {}) const;
  // 0 null/missing, 1 boolean, 2 number, 4 object, 5 array, 6 string, -1 other.
  int type_of(const Text& path = {}) const;
  Text get_text(const Text& path = {}, bool as_json = false) const;
  long member_names(TextArray& names, const Text& path = {}) const;
  long count(const Text& path = {}) const;
  JsonObject get_object(const Text& path = {}) const;
  bool array_add(const Text& value = {}, const Text& path = {}, bool is_json = false,
                 bool at_front = false);
  JsonObject array_get_object(long index = 0, const Text& path = {}) const;
  Text array_get_text(long index = 0, const Text& path = {}, bool as_json = false) const;
  bool array_set(long index = 0, const Text& path = {}, const Text& value = {},
                 bool is_json = false);
  bool array_remove(long index = 0, const Text& path = {});
  bool remove(const Text& path = {});
  bool set_number(const Text& path = {}, double number = 0);
  double get_number(const Text& path = {}) const;
  Text get_json(const Text& path = {}) const;
  std::shared_ptr<ScriptEngine> get_engine() const;
  long node_values(TextArray& values, const Text& path = {}, bool recursive = false) const;

  const Text& var_name() const { return m_var_name; }

 private:
  Text resolved(const Text& path) const;
  bool eval_bool(const Text& fragment) const;
  Text eval_text(const Text& fragment) const;
  double eval_number(const Text& fragment) const;
  void eval_ignore(const Text& fragment) const;

  Text m_var_name;
  std::shared_ptr<ScriptEngine> m_engine;
};

}  // namespace melodrin
