#include "app/message_boxes.h"

#include <QMessageBox>
#include <QString>

namespace melodrin {
namespace {

class SystemMessageBoxes final : public MessageBoxes {
 public:
  void information(QWidget* owner, const QString& caption, const QString& text) override {
    QMessageBox::information(owner, caption, text, QMessageBox::Ok);
  }
  void warning(QWidget* owner, const QString& caption, const QString& text) override {
    QMessageBox::warning(owner, caption, text, QMessageBox::Ok);
  }
  void error(QWidget* owner, const QString& caption, const QString& text) override {
    QMessageBox::critical(owner, caption, text, QMessageBox::Ok);
  }
};

}  // namespace

std::unique_ptr<MessageBoxes> MessageBoxes::system() { return std::make_unique<SystemMessageBoxes>(); }

}  // namespace melodrin
