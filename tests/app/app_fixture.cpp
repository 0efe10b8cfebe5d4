#include "tests/app/app_fixture.h"

#include <chrono>
#include <thread>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

namespace melodrin::testing {

bool wait_until(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::optional<std::string> file_bytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray all = file.readAll();
  return std::string(all.constData(), static_cast<std::size_t>(all.size()));
}

AppTest::AppTest() : m_engine(std::make_unique<BrowserEngine>(m_messages)) {
  m_services.endpoints.web_host = server().http_authority();
  m_services.endpoints.api_host = server().https_authority();
  m_services.endpoints.announcement_host = kAnnouncementHost;
  m_services.messages = &m_messages;
  m_services.shell = &m_shell;
  m_services.save_dialog = &m_save_dialog;
  m_services.engine = m_engine.get();
  m_services.workers = &m_workers;
  m_services.texts = &m_texts;
  m_services.song_fetch = winhttp_song_fetch();
  m_services.download_fetch = wininet_download_fetch();
  server().clear_requests();
}

AppTest::~AppTest() {
  m_window.reset();
  // Workers of a test must not outlive its doubles.
  m_workers.wait_idle(std::chrono::seconds(60));
  settle(10);
  m_engine.reset();
}

bool AppTest::wait_for_requests(const std::string& path, std::size_t count, int timeout_ms) {
  return wait_until([&] { return server().requests_to(path).size() >= count; }, timeout_ms);
}

MainWindow& AppTest::make_window() {
  m_window = std::make_unique<MainWindow>(m_services);
  m_window->show();
  return *m_window;
}

}  // namespace melodrin::testing
