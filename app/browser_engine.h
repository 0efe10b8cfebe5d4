// What both embedded browsers share: the web engine's helper process check
// and one off-the-record profile, so nothing is kept on disk between runs.
#pragma once

#include <memory>

#include <QString>

class QWebEngineProfile;

namespace melodrin {

class BrowserCookies;
class MessageBoxes;

class BrowserEngine {
 public:
  // process_path: where the engine's helper process must be; empty for the
  // place the web engine itself looks.
  explicit BrowserEngine(MessageBoxes& messages, QString process_path = {});
  ~BrowserEngine();
  BrowserEngine(const BrowserEngine&) = delete;
  BrowserEngine& operator=(const BrowserEngine&) = delete;

  // Checked when the first browser asks; without the helper the engine would
  // abort the whole program, so the browsers then stay blank. The "错误" box
  // is shown once.
  bool start();

  // Null until start() succeeded.
  QWebEngineProfile* profile() const { return m_profile; }
  // The profile's cookies as far as its store has reported them; null until
  // start() succeeded.
  const BrowserCookies* cookies() const { return m_cookies.get(); }

  const QString& process_path() const { return m_process_path; }

  // QTWEBENGINE_PROCESS_PATH when set, else the Qt helper folder's
  // QtWebEngineProcess.
  static QString expected_process_path();

 private:
  MessageBoxes& m_messages;
  QString m_process_path;
  bool m_checked = false;
  QWebEngineProfile* m_profile = nullptr;
  std::unique_ptr<BrowserCookies> m_cookies;  // goes before the profile
};

}  // namespace melodrin
