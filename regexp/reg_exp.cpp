#include "regexp/reg_exp.h"

#include <QRegularExpression>
#include <QRegularExpressionMatch>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>
#include <vector>

#include "text/codepage.h"
#include "text/search.h"

namespace melodrin {

struct RegExp::State {
  Text pattern;
  bool valid = false;
  int group_count = 0;
  QString subject;
  std::vector<QRegularExpressionMatch> matches;

  const QRegularExpressionMatch* match(long index) const {
    if (index < 1 || index > static_cast<long>(matches.size())) return nullptr;
    return &matches[static_cast<std::size_t>(index - 1)];
  }
};

namespace {

bool is_hex(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool is_letter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Letter escapes with a meaning of their own; any other escaped letter stands
// for itself, as in ECMAScript, rather than for one of PCRE2's extras.
bool is_class_escape(char16_t c, bool in_class) {
  switch (c) {
    case u'd': case u'D': case u'w': case u'W': case u's': case u'S':
    case u'b': case u'f': case u'n': case u'r': case u't':
      return true;
    case u'B':
      return !in_class;
    default:
      return false;
  }
}

// Rewrites an ECMAScript-style pattern where PCRE2 reads it differently.
QString engine_pattern(const QString& pattern, bool multiline) {
  // CR and LF both end a line: "." matches neither, and ^ and $ see both.
  QString out = QStringLiteral("(*ANYCRLF)");
  const qsizetype n = pattern.size();
  auto hex_run = [&](qsizetype from, qsizetype count) {
    if (from + count > n) return false;
    for (qsizetype k = from; k < from + count; ++k) {
      if (!is_hex(pattern[k].unicode())) return false;
    }
    return true;
  };
  bool in_class = false;
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t c = pattern[i].unicode();
    if (c == u'\\') {
      if (i + 1 == n) {  // a trailing backslash: let the engine reject it
        out += u'\\';
        continue;
      }
      const char16_t e = pattern[++i].unicode();
      if (e == u'u' && hex_run(i + 1, 4)) {
        out += QStringLiteral("\\x{") + pattern.mid(i + 1, 4) + u'}';
        i += 4;
      } else if (e == u'x' && hex_run(i + 1, 2)) {
        out += QStringLiteral("\\x") + pattern.mid(i + 1, 2);
        i += 2;
      } else if (e == u'c') {
        if (i + 1 < n && is_letter(pattern[i + 1].unicode())) {
          out += QStringLiteral("\\c") + pattern[++i];
        } else {
          out += QStringLiteral("\\\\c");
        }
      } else if (e == u'v') {
        out += QStringLiteral("\\x0B");  // PCRE2's \v is a whole class
      } else if (is_letter(e) && !is_class_escape(e, in_class)) {
        out += QChar(e);
      } else {
        out += u'\\';
        out += QChar(e);
      }
      continue;
    }
    if (in_class) {
      if (c == u']') {
        in_class = false;
      } else if (c == u'[') {
        out += QStringLiteral("\\[");  // no POSIX [:name:] classes
        continue;
      }
      out += QChar(c);
      continue;
    }
    if (c == u'[') {
      if (QStringView(pattern).mid(i, 2) == u"[]") {
        out += QStringLiteral("(?!)");
        i += 1;
        continue;
      }
      if (QStringView(pattern).mid(i, 3) == u"[^]") {
        out += QStringLiteral("[\\s\\S]");
        i += 2;
        continue;
      }
      in_class = true;
      out += u'[';
      if (i + 1 < n && pattern[i + 1] == u'^') {
        out += u'^';
        ++i;
      }
      continue;
    }
    if (c == u'$' && !multiline) {
      out += QStringLiteral("\\z");  // not before a final line break
      continue;
    }
    out += QChar(c);
  }
  return out;
}

std::vector<QRegularExpressionMatch> all_matches(const QRegularExpression& engine,
                                                 const QString& subject, bool global) {
  std::vector<QRegularExpressionMatch> matches;
  qsizetype offset = 0;
  while (offset <= subject.size()) {
    QRegularExpressionMatch match = engine.match(subject, offset);
    if (!match.hasMatch()) break;
    const qsizetype start = match.capturedStart(0);
    const qsizetype end = match.capturedEnd(0);
    matches.push_back(std::move(match));
    if (!global) break;
    // After an empty match the next search starts one unit on.
    offset = end > start ? end : end + 1;
    if (offset < subject.size() && subject[offset].isLowSurrogate() &&
        subject[offset - 1].isHighSurrogate()) {
      ++offset;
    }
  }
  return matches;
}

// 0-based byte offset in the GBK subject of UTF-16 index; -2 for none.
long byte_offset(const QString& subject, qsizetype index) {
  if (index < 0) return -2;
  return static_cast<long>(from_qstring(subject.left(index)).size());
}

void append_substitution(QString& out, const QString& replacement,
                         const QRegularExpressionMatch& match, const QString& subject,
                         int group_count) {
  const qsizetype n = replacement.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = replacement[i];
    if (c != u'$' || i + 1 == n) {
      out += c;
      continue;
    }
    const char16_t d = replacement[i + 1].unicode();
    if (d == u'$') {
      out += u'$';
      ++i;
    } else if (d == u'&') {
      out += match.capturedView(0);
      ++i;
    } else if (d == u'`') {
      out += QStringView(subject).left(match.capturedStart(0));
      ++i;
    } else if (d == u'\'') {
      out += QStringView(subject).mid(match.capturedEnd(0));
      ++i;
    } else if (is_digit(d)) {
      const int one = d - u'0';
      const int two = i + 2 < n && is_digit(replacement[i + 2].unicode())
                          ? one * 10 + (replacement[i + 2].unicode() - u'0')
                          : -1;
      if (two >= 1 && two <= group_count) {
        out += match.capturedView(two);
        i += 2;
      } else if (one >= 1 && one <= group_count) {
        out += match.capturedView(one);
        ++i;
      } else {
        out += c;  // no such group: "$7" stays as written
      }
    } else {
      out += c;
    }
  }
}

}  // namespace

RegExp::RegExp() noexcept = default;

bool RegExp::search(const Text& pattern, const Text& subject, bool case_sensitive,
                    bool multiline, bool global, bool quote_marker) {
  auto state = std::make_shared<State>();
  state->pattern = quote_marker ? replace_quote_marker(pattern) : pattern;
  QRegularExpression::PatternOptions options;
  if (!case_sensitive) options |= QRegularExpression::CaseInsensitiveOption;
  if (multiline) options |= QRegularExpression::MultilineOption;
  // No DotMatchesEverythingOption and no Unicode properties: \w stays [A-Za-z0-9_].
  const QRegularExpression engine(engine_pattern(to_qstring(state->pattern), multiline), options);
  state->subject = to_qstring(subject);
  state->valid = engine.isValid();
  if (state->valid) {
    state->group_count = engine.captureCount();
    state->matches = all_matches(engine, state->subject, global);
  }
  m_state = std::move(state);
  return m_state->valid;
}

Text RegExp::pattern_text() const { return m_state ? m_state->pattern : Text{}; }

Text RegExp::replace(const Text& replacement) const {
  if (!m_state || !m_state->valid) return {};
  const QString with = to_qstring(replacement);
  const QString& subject = m_state->subject;
  QString out;
  qsizetype done = 0;
  for (const QRegularExpressionMatch& match : m_state->matches) {
    out += QStringView(subject).mid(done, match.capturedStart(0) - done);
    append_substitution(out, with, match, subject, m_state->group_count);
    done = match.capturedEnd(0);
  }
  out += QStringView(subject).mid(done);
  return from_qstring(out);
}

long RegExp::match_count() const {
  return m_state ? static_cast<long>(m_state->matches.size()) : 0;
}

Text RegExp::match_text(long match_index, long* position) const {
  const QRegularExpressionMatch* match = m_state ? m_state->match(match_index) : nullptr;
  if (position) *position = match ? byte_offset(m_state->subject, match->capturedStart(0)) : -2;
  return match ? from_qstring(match->captured(0)) : Text{};
}

Text RegExp::submatch_text(long match_index, long submatch_index, long* position) const {
  const QRegularExpressionMatch* match = m_state ? m_state->match(match_index) : nullptr;
  if (match && (submatch_index < 1 || submatch_index > m_state->group_count)) match = nullptr;
  const int group = static_cast<int>(submatch_index);
  if (position) *position = match ? byte_offset(m_state->subject, match->capturedStart(group)) : -2;
  return match ? from_qstring(match->captured(group)) : Text{};
}

long RegExp::submatch_count() const {
  return m_state && !m_state->matches.empty() ? m_state->group_count : 0;
}

}  // namespace melodrin
