// The save-file dialog: its settings, kept by the main window between clicks,
// and the dialog itself behind an interface so tests can stand in for it.
#pragma once

#include <memory>
#include <optional>

#include <QString>

class QWidget;

namespace melodrin {

struct SaveDialogSettings {
  QString filter = QStringLiteral("MP3文件 (*.MP3)");  // Qt's form of "MP3文件|*.MP3"
  QString default_suffix = QStringLiteral("mp3");
  QString initial_folder;  // "": the dialog opens where the system chooses
  QString file_name;       // proposed name; after a confirmation the chosen full path
  bool confirm_overwrite = true;
};

class SaveDialog {
 public:
  virtual ~SaveDialog() = default;

  // Shows the dialog modally; the confirmed full path, or nullopt when cancelled.
  virtual std::optional<QString> ask(QWidget* owner, const SaveDialogSettings& settings) = 0;

  static std::unique_ptr<SaveDialog> system();
};

}  // namespace melodrin
