#include "app/browser_engine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "app/browser_cookies.h"
#include "app/message_boxes.h"

namespace melodrin {

BrowserEngine::BrowserEngine(MessageBoxes& messages, QString process_path)
    : m_messages(messages), m_process_path(std::move(process_path)) {
  if (!m_process_path.isEmpty()) return;
  m_process_path = expected_process_path();
  // The engine also takes a helper that lies beside the program.
  const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/QtWebEngineProcess");
  if (!QFileInfo(m_process_path).isFile() && qEnvironmentVariableIsEmpty("QTWEBENGINE_PROCESS_PATH") &&
      QFileInfo(beside).isFile())
    m_process_path = beside;
}

BrowserEngine::~BrowserEngine() {
  m_cookies.reset();
  delete m_profile;
}

QString BrowserEngine::expected_process_path() {
  const QString from_environment = qEnvironmentVariable("QTWEBENGINE_PROCESS_PATH");
  if (!from_environment.isEmpty()) return from_environment;
  return QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + QStringLiteral("/QtWebEngineProcess");
}

bool BrowserEngine::start() {
  if (m_checked) return m_profile != nullptr;
  m_checked = true;
  const QFileInfo helper(m_process_path);
  if (!helper.isFile() || !helper.isExecutable()) {
    m_messages.error(nullptr, QStringLiteral("错误"),
                     QStringLiteral("请把QtWebEngineProcess放在[%1]位置").arg(m_process_path));
    return false;
  }
  // A profile without a storage name is off the record: cookies, cache and
  // history live in memory only, whatever the cache and cookie settings say.
  m_profile = new QWebEngineProfile();
  m_profile->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
  m_cookies = std::make_unique<BrowserCookies>(m_profile->cookieStore());
  return true;
}

}  // namespace melodrin
