// The program as a whole: the platform adapters, the shared browser engine,
// the worker pool and the main window, in the order they must be torn down.
#pragma once

#include <chrono>
#include <memory>

#include <QObject>

#include "app/app_services.h"
#include "app/app_texts.h"
#include "app/worker_pool.h"

namespace melodrin {

class BrowserEngine;
class MainWindow;
class MessageBoxes;
class SaveDialog;
class Shell;

class Application {
 public:
  // Needs a QApplication. The engines default to the real request engines.
  explicit Application(Endpoints endpoints, SongFetch song_fetch = winhttp_song_fetch(),
                       DownloadFetch download_fetch = wininet_download_fetch());
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  void show();
  MainWindow& main_window() { return *m_window; }
  const AppTexts& texts() const { return m_texts; }

  // After the event loop. The windows go at once; workers get a short
  // grace, and one that is still waiting for the network then ends with the
  // process, so that no destructor races it. Returns exit_code when every
  // worker thread has ended in time.
  int finish(int exit_code, std::chrono::milliseconds grace = std::chrono::milliseconds(300));

 private:
  std::unique_ptr<MessageBoxes> m_messages;
  std::unique_ptr<Shell> m_shell;
  std::unique_ptr<SaveDialog> m_save_dialog;
  std::unique_ptr<BrowserEngine> m_engine;
  WorkerPool m_workers;
  AppTexts m_texts;
  QObject m_exit_hook;  // ends the exit hook's connection before m_texts goes
  AppServices m_services;
  std::unique_ptr<MainWindow> m_window;
};

}  // namespace melodrin
