#include "text/codepage.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#include <string>

namespace melodrin {

namespace {

// Code page 936 goes through Qt's ICU-backed "GBK" converter (ICU's
// windows-936-2000 table): it maps 0x80 to the euro sign as Windows does and,
// unlike GB18030, it cannot encode everything, so it flags what GBK lacks.
// The converters are per thread, since worker threads convert too. Their
// resetState() keeps the error count (Qt 6.4 with ICU), so restart() clears it.
struct Encoder : QStringEncoder {
  explicit Encoder(const char* name) : QStringEncoder(name, Flag::Stateless) {}
  void restart() {
    resetState();
    state.invalidChars = 0;
  }
};

struct Decoder : QStringDecoder {
  Decoder() = default;
  explicit Decoder(const char* name) : QStringDecoder(name, Flag::Stateless) {}
  void restart() {
    resetState();
    state.invalidChars = 0;
  }
};

struct GbkCodec {
  Encoder encoder{"GBK"};
  Decoder decoder{"GBK"};
};

GbkCodec& gbk_codec() {
  thread_local GbkCodec codec;
  return codec;
}

bool is_ascii(const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (static_cast<unsigned char>(data[i]) >= 0x80) return false;
  }
  return true;
}

bool is_ascii(QStringView string) {
  for (QChar c : string) {
    if (c.unicode() >= 0x80) return false;
  }
  return true;
}

QString decode_gbk(const char* data, std::size_t size) {
  if (is_ascii(data, size)) return QString::fromLatin1(data, static_cast<qsizetype>(size));
  Decoder& decoder = gbk_codec().decoder;
  decoder.restart();
  return decoder.decode(QByteArrayView(data, static_cast<qsizetype>(size)));
}

bool is_mark(char32_t c) { return c >= 0x300 && QChar::combiningClass(c) != 0; }

// A base character followed by combining marks becomes the precomposed
// character where one exists; nothing else is normalised, so compatibility
// characters that GBK holds keep their own codes.
QString compose_marks(QStringView string) {
  const qsizetype size = string.size();
  qsizetype i = 0;
  auto code_at = [&](qsizetype at, qsizetype* width) -> char32_t {
    const QChar c = string[at];
    if (c.isHighSurrogate() && at + 1 < size && string[at + 1].isLowSurrogate()) {
      *width = 2;
      return QChar::surrogateToUcs4(c, string[at + 1]);
    }
    *width = 1;
    return c.unicode();
  };
  QString out;
  qsizetype copied = 0;     // string[0, copied) is in out
  qsizetype previous = -1;  // start of the character before i
  while (i < size) {
    qsizetype width;
    const char32_t c = code_at(i, &width);
    if (!is_mark(c)) {
      previous = i;
      i += width;
      continue;
    }
    const qsizetype begin = previous >= copied ? previous : i;
    qsizetype end = i + width;
    while (end < size) {
      qsizetype w;
      if (!is_mark(code_at(end, &w))) break;
      end += w;
    }
    if (out.isNull()) out.reserve(size);
    out.append(string.mid(copied, begin - copied));
    out.append(string.mid(begin, end - begin).toString().normalized(QString::NormalizationForm_C));
    copied = end;
    previous = -1;
    i = end;
  }
  if (copied == 0) return string.toString();
  out.append(string.mid(copied));
  return out;
}

bool has_marks_or_surrogates(QStringView string) {
  for (QChar c : string) {
    if (c.unicode() >= 0x300 && (c.isSurrogate() || QChar::combiningClass(c.unicode()) != 0))
      return true;
  }
  return false;
}

// Lone surrogates become U+FFFD, which GBK lacks, so they come out as "?".
void replace_lone_surrogates(QString& string) {
  const qsizetype size = string.size();
  for (qsizetype i = 0; i < size; ++i) {
    const QChar c = string[i];
    if (c.isHighSurrogate() && i + 1 < size && string[i + 1].isLowSurrogate()) {
      ++i;
    } else if (c.isSurrogate()) {
      string[i] = QChar(QChar::ReplacementCharacter);
    }
  }
}

Text encode_gbk(QStringView string) {
  if (string.isEmpty()) return {};
  if (is_ascii(string)) {
    Text out(static_cast<std::size_t>(string.size()), '\0');
    for (qsizetype i = 0; i < string.size(); ++i) out[static_cast<std::size_t>(i)] = static_cast<char>(string[i].unicode());
    return out;
  }
  QString prepared;
  if (has_marks_or_surrogates(string)) {
    prepared = compose_marks(string);
    replace_lone_surrogates(prepared);
    string = prepared;
  }
  Encoder& encoder = gbk_codec().encoder;
  encoder.restart();
  const QByteArray bytes = encoder.encode(string);
  if (!encoder.hasError()) return Text(bytes.constData(), static_cast<std::size_t>(bytes.size()));

  // Some character is not in GBK: convert one character at a time so that
  // each such character becomes exactly one "?", whatever the converter's own
  // substitute would be.
  Text out;
  out.reserve(static_cast<std::size_t>(bytes.size()));
  for (qsizetype i = 0; i < string.size();) {
    const qsizetype width =
        string[i].isHighSurrogate() && i + 1 < string.size() && string[i + 1].isLowSurrogate() ? 2 : 1;
    const QStringView one = string.mid(i, width);
    i += width;
    if (one[0].unicode() < 0x80) {
      out.push_back(static_cast<char>(one[0].unicode()));
      continue;
    }
    encoder.restart();
    const QByteArray part = encoder.encode(one);
    if (encoder.hasError() || part.isEmpty()) {
      out.push_back('?');
    } else {
      out.append(part.constData(), static_cast<std::size_t>(part.size()));
    }
  }
  return out;
}

// Declared charsets that Windows reads as code page 936, GB2312 above all:
// pages that say GB2312 routinely hold GBK characters.
bool is_gbk_name(const Text& charset) {
  static const char* const kNames[] = {"gbk",         "gb2312",   "gb_2312-80", "csgb2312",
                                       "x-gbk",       "cp936",    "ms936",      "windows-936",
                                       "chinese",     "iso-ir-58", "euc-cn",    "x-euc-cn",
                                       "csiso58gb231280"};
  for (const char* name : kNames) {
    if (charset.size() == std::strlen(name) &&
        std::equal(charset.begin(), charset.end(), name, [](char a, char b) {
          return (a >= 'A' && a <= 'Z' ? a + 32 : a) == b;
        })) {
      return true;
    }
  }
  return false;
}

}  // namespace

Bytes to_wide_bytes(const Text& text, bool drop_terminator) {
  // The text ends at its first zero byte, as a zero-terminated string does.
  const std::size_t size = std::strlen(text.c_str());
  if (size == 0) return {};
  Bytes out;
  if (is_ascii(text.data(), size)) {
    out.assign(size * 2 + 2, '\0');
    for (std::size_t i = 0; i < size; ++i) out[i * 2] = text[i];
  } else {
    const QString wide = decode_gbk(text.data(), size);
    const std::size_t units = static_cast<std::size_t>(wide.size());
    out.assign(units * 2 + 2, '\0');
    const char16_t* data = reinterpret_cast<const char16_t*>(wide.utf16());
    for (std::size_t i = 0; i < units; ++i) {
      out[i * 2] = static_cast<char>(data[i] & 0xFF);
      out[i * 2 + 1] = static_cast<char>(data[i] >> 8);
    }
  }
  if (drop_terminator) out.resize(out.size() - 2);
  return out;
}

Text from_wide_bytes(const Bytes& wide) {
  const std::size_t units = wide.size() / 2;
  auto unit_at = [&](std::size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(wide[i * 2]) |
                                 static_cast<unsigned char>(wide[i * 2 + 1]) << 8);
  };
  std::size_t count = 0;
  while (count < units && unit_at(count) != 0) ++count;
  QString string(static_cast<qsizetype>(count), Qt::Uninitialized);
  char16_t* data = reinterpret_cast<char16_t*>(string.data());
  for (std::size_t i = 0; i < count; ++i) data[i] = unit_at(i);
  return encode_gbk(string);
}

QString to_qstring(const Text& text) { return decode_gbk(text.data(), text.size()); }

Text from_qstring(const QString& string) { return encode_gbk(string); }

std::string gbk_to_utf8(const Text& text) {
  if (is_ascii(text.data(), text.size())) return text;
  return to_qstring(text).toStdString();
}

Text utf8_to_gbk(std::string_view utf8) {
  if (is_ascii(utf8.data(), utf8.size())) return Text(utf8);
  return encode_gbk(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

std::optional<Text> strict_utf8_to_gbk(std::string_view utf8) {
  if (is_ascii(utf8.data(), utf8.size())) return Text(utf8);
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString string = decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
  if (decoder.hasError()) return std::nullopt;
  return encode_gbk(string);
}

std::optional<Text> decode_to_gbk(const Bytes& bytes, const Text& charset) {
  QString string;
  if (is_gbk_name(charset)) {
    string = decode_gbk(bytes.data(), bytes.size());
  } else {
    if (charset.empty()) return std::nullopt;
    // The last charset seen on this thread is kept: a worker decodes page after page in the same one.
    thread_local Text cached_name;
    thread_local Decoder cached;
    if (!cached.isValid() || cached_name != charset) {
      cached = Decoder(charset.c_str());
      cached_name = charset;
    }
    if (!cached.isValid()) return std::nullopt;
    cached.restart();
    string = cached.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  }
  // A text ends at its first zero character.
  const qsizetype zero = string.indexOf(QChar(0));
  if (zero >= 0) string.truncate(zero);
  return encode_gbk(string);
}

}  // namespace melodrin
