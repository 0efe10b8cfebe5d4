#include <QApplication>
#include <QIcon>

#include "app/application.h"

#ifndef MELODRIN_ANNOUNCEMENT_HOST
#define MELODRIN_ANNOUNCEMENT_HOST ""
#endif

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("melodrin"));
  QApplication::setDesktopFileName(QStringLiteral("melodrin"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("melodrin"), QIcon(QStringLiteral(":/melodrin.png"))));

  melodrin::Endpoints endpoints;
  endpoints.web_host = "www.kugou.com";
  endpoints.api_host = "wwwapi.kugou.com";
  endpoints.announcement_host = MELODRIN_ANNOUNCEMENT_HOST;

  melodrin::Application melodrin(std::move(endpoints));
  melodrin.show();
  return melodrin.finish(app.exec());
}
