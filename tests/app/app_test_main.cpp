// The app tests run headless against the loopback server, each in a
// QApplication of its own.
#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

#include "tests/support/test_server.h"

namespace {

void set_default(const char* name, const QByteArray& value) {
  if (qEnvironmentVariableIsEmpty(name)) qputenv(name, value);
}

}  // namespace

int main(int argc, char** argv) {
  set_default("QT_QPA_PLATFORM", "offscreen");
  set_default("QTWEBENGINE_DISABLE_SANDBOX", "1");
  set_default("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
  // The tests reach loopback only.
  for (const char* proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    qunsetenv(proxy);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new melodrin::testing::TestServerEnvironment);
  return RUN_ALL_TESTS();
}
