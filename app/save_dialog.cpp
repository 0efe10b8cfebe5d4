#include "app/save_dialog.h"

#include <QDir>
#include <QFileDialog>

namespace melodrin {
namespace {

class SystemSaveDialog final : public SaveDialog {
 public:
  std::optional<QString> ask(QWidget* owner, const SaveDialogSettings& settings) override {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(settings.filter);
    dialog.setDefaultSuffix(settings.default_suffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !settings.confirm_overwrite);
    if (!settings.initial_folder.isEmpty()) dialog.setDirectory(settings.initial_folder);
    // The proposed name is a bare name: it opens in the initial folder.
    if (!settings.file_name.isEmpty()) dialog.selectFile(settings.file_name);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.first();
  }
};

}  // namespace

std::unique_ptr<SaveDialog> SaveDialog::system() { return std::make_unique<SystemSaveDialog>(); }

}  // namespace melodrin
