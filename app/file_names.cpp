#include "app/file_names.h"

namespace melodrin {

QString proposed_file_name(const QString& title) {
  static const QString kRefused = QStringLiteral("/\\:*?\"<>|");
  QString name;
  name.reserve(title.size());
  for (const QChar c : title) {
    const bool refused = c.unicode() < 0x20 || c.unicode() == 0x7f || kRefused.contains(c);
    name += refused ? QChar(u'_') : c;
  }
  const QString suffix = QStringLiteral(".mp3");
  const qsizetype limit = 255 - suffix.toUtf8().size();
  while (name.toUtf8().size() > limit) {
    name.chop(name.size() >= 2 && name.at(name.size() - 1).isLowSurrogate() ? 2 : 1);
  }
  return name + suffix;
}

}  // namespace melodrin
