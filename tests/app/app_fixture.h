// Test doubles of the platform adapters and a fixture that builds the main
// window over them, with the loopback server standing in for the service.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/app_services.h"
#include "app/app_texts.h"
#include "app/browser_engine.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/save_dialog.h"
#include "app/shell.h"
#include "app/worker_pool.h"
#include "tests/support/test_server.h"

namespace melodrin::testing {

struct ShownMessage {
  std::string kind;  // "information", "warning", "error"
  QWidget* owner;
  QString caption;
  QString text;
};

class RecordingMessages final : public MessageBoxes {
 public:
  void information(QWidget* owner, const QString& caption, const QString& text) override {
    shown.push_back({"information", owner, caption, text});
  }
  void warning(QWidget* owner, const QString& caption, const QString& text) override {
    shown.push_back({"warning", owner, caption, text});
  }
  void error(QWidget* owner, const QString& caption, const QString& text) override {
    shown.push_back({"error", owner, caption, text});
  }
  std::vector<ShownMessage> shown;
};

class RecordingShell final : public Shell {
 public:
  void open_address(const QString& address) override { opened.push_back(address); }
  QString desktop_folder() const override { return desktop; }
  std::vector<QString> opened;
  QString desktop = QStringLiteral("/home/user/Desktop/");
};

class ScriptedSaveDialog final : public SaveDialog {
 public:
  std::optional<QString> ask(QWidget*, const SaveDialogSettings& settings) override {
    asked.push_back(settings);
    return answer;
  }
  std::vector<SaveDialogSettings> asked;
  std::optional<QString> answer;  // nullopt: the user cancels
};

// Waits, handling events, until done() holds or timeout_ms passed.
bool wait_until(const std::function<bool()>& done, int timeout_ms = 30000);
// Handles the events that are due now.
void settle(int ms = 50);

// Reads the file whole; nullopt when it cannot be opened.
std::optional<std::string> file_bytes(const QString& path);

class AppTest : public ::testing::Test {
 protected:
  static constexpr const char* kAnnouncementHost = "news.example.test";

  AppTest();
  ~AppTest() override;

  // Builds the main window over the services; tests may change services first.
  MainWindow& make_window();

  TestServer& server() { return TestServer::shared(); }
  // Handles events while waiting: the web view works on this thread.
  bool wait_for_requests(const std::string& path, std::size_t count, int timeout_ms = 60000);

  RecordingMessages m_messages;
  RecordingShell m_shell;
  ScriptedSaveDialog m_save_dialog;
  std::unique_ptr<BrowserEngine> m_engine;
  WorkerPool m_workers;
  AppTexts m_texts;
  AppServices m_services;
  std::unique_ptr<MainWindow> m_window;
  QTemporaryDir m_folder;
};

}  // namespace melodrin::testing
