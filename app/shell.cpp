#include "app/shell.h"

#include <QDesktopServices>
#include <QStandardPaths>
#include <QUrl>

namespace melodrin {
namespace {

class SystemShell final : public Shell {
 public:
  void open_address(const QString& address) override { QDesktopServices::openUrl(QUrl(address)); }

  QString desktop_folder() const override {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder;
  }
};

}  // namespace

std::unique_ptr<Shell> Shell::system() { return std::make_unique<SystemShell>(); }

}  // namespace melodrin
