#include "app/application.h"

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>

#include "app/browser_engine.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/picker_window.h"
#include "app/save_dialog.h"
#include "app/shell.h"

namespace melodrin {

Application::Application(Endpoints endpoints, SongFetch song_fetch, DownloadFetch download_fetch)
    : m_messages(MessageBoxes::system()),
      m_shell(Shell::system()),
      m_save_dialog(SaveDialog::system()),
      m_engine(std::make_unique<BrowserEngine>(*m_messages)) {
  m_services.endpoints = std::move(endpoints);
  m_services.messages = m_messages.get();
  m_services.shell = m_shell.get();
  m_services.save_dialog = m_save_dialog.get();
  m_services.engine = m_engine.get();
  m_services.workers = &m_workers;
  m_services.texts = &m_texts;
  m_services.song_fetch = std::move(song_fetch);
  m_services.download_fetch = std::move(download_fetch);
  // The exit hook.
  QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &m_exit_hook,
                   [texts = &m_texts] { texts->release(); });
  m_window = std::make_unique<MainWindow>(m_services);
}

Application::~Application() = default;

void Application::show() { m_window->show(); }

int Application::finish(int exit_code, std::chrono::milliseconds grace) {
  if (PickerWindow* picker = m_window->picker()) picker->hide();
  m_window->hide();
  if (!m_workers.wait_idle(grace)) {
    std::fflush(nullptr);
    std::_Exit(exit_code);
  }
  return exit_code;
}

}  // namespace melodrin
