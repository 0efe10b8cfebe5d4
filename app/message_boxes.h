// Message boxes behind an interface, so tests can record them instead of
// blocking on a modal box.
#pragma once

#include <memory>

class QString;
class QWidget;

namespace melodrin {

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;

  // Each shows text with an OK button only; owner may be null.
  virtual void information(QWidget* owner, const QString& caption, const QString& text) = 0;
  virtual void warning(QWidget* owner, const QString& caption, const QString& text) = 0;
  virtual void error(QWidget* owner, const QString& caption, const QString& text) = 0;

  // The platform's modal boxes.
  static std::unique_ptr<MessageBoxes> system();
};

}  // namespace melodrin
