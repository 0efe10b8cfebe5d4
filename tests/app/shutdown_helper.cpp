// Runs the program with a song worker stuck in its request and the picker
// open, closes the main window, and leaves as the program does. The shutdown test watches it.
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include <QApplication>
#include <QTimer>

#include "app/application.h"
#include "app/main_window.h"
#include "app/web_browser.h"

namespace {

struct GetJob final : melodrin::RequestJob {
  void hook_request() override {}
  int request_method() const override { return kGet; }
};

std::mutex g_mutex;
std::condition_variable g_never;
bool g_started = false;

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);

  melodrin::Endpoints endpoints;
  endpoints.web_host = "127.0.0.1:1";
  endpoints.api_host = "127.0.0.1:1";
  // The stuck request: it never answers.
  melodrin::SongFetch stuck = [](const melodrin::SongRequest&) {
    std::unique_lock lock(g_mutex);
    g_started = true;
    g_never.notify_all();
    g_never.wait(lock, [] { return false; });
    return melodrin::Text();
  };
  melodrin::Application melodrin(endpoints, stuck);
  melodrin.show();

  QTimer::singleShot(0, [&melodrin] {
    // The picker stays open: closing the main window ends the program anyway.
    melodrin.main_window().open_picker();
    GetJob job;
    melodrin.main_window().on_load_url_begin("https://127.0.0.1:1/yy/index.php?r=1", job);
    {
      std::unique_lock lock(g_mutex);
      g_never.wait(lock, [] { return g_started; });
    }
    std::puts("worker running");
    std::fflush(stdout);
    melodrin.main_window().close();
  });
  return melodrin.finish(app.exec());
}
