// Runs the program and leaves as the program does; the shutdown test
// watches it. Modes:
//   stuck      a song worker stuck in its request and the picker open when
//              the main window closes
//   quick      the same, but the request returns soon after the close
//   exit       as quick, but the event loop is ended by exit(), which,
//              unlike a close, leaves the windows open
//   destroyed  the program object is gone before the event loop ends
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <QApplication>
#include <QTimer>

#include "app/application.h"
#include "app/main_window.h"
#include "app/picker_window.h"
#include "app/web_browser.h"

namespace {

struct GetJob final : melodrin::RequestJob {
  void hook_request() override {}
  int request_method() const override { return kGet; }
};

std::mutex g_mutex;
std::condition_variable g_changed;
bool g_started = false;
bool g_release = false;  // a stuck request is never released
std::atomic<bool> g_thread_ended{false};

// Lives as long as the worker's thread. Its slow end stands for what a
// thread tears down after its work (the script engine's per-thread data).
struct ThreadEndWatch {
  void touch() {}
  ~ThreadEndWatch() {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    g_thread_ended = true;
  }
};

melodrin::SongFetch held_fetch(bool returns) {
  return [returns](const melodrin::SongRequest&) {
    thread_local ThreadEndWatch watch;
    watch.touch();
    std::unique_lock lock(g_mutex);
    g_started = true;
    g_changed.notify_all();
    if (returns) {
      g_changed.wait(lock, [] { return g_release; });
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } else {
      g_changed.wait(lock, [] { return false; });
    }
    return melodrin::Text();
  };
}

void print_texts(const char* when, const melodrin::AppTexts& texts) {
  std::printf("%s: captured=[%s] picked=[%s]\n", when, texts.captured_api_url.c_str(),
              texts.picked_page_url.c_str());
  std::fflush(stdout);
}

melodrin::Endpoints loopback_endpoints() {
  melodrin::Endpoints endpoints;
  endpoints.web_host = "127.0.0.1:1";
  endpoints.api_host = "127.0.0.1:1";
  return endpoints;
}

// The exit hook must not outlive the program object it releases.
int run_destroyed(QApplication& app) {
  auto melodrin = std::make_unique<melodrin::Application>(loopback_endpoints());
  melodrin->main_window().open_picker();
  melodrin->main_window().picker()->on_url_changed("https://127.0.0.1:1/song/a-page-long-enough-for-the-heap", 1);
  print_texts("before teardown", melodrin->texts());
  melodrin.reset();
  QTimer::singleShot(0, &app, &QCoreApplication::quit);
  const int code = app.exec();
  std::puts("quit after teardown");
  std::fflush(stdout);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  // No argument: stuck.
  const bool by_exit = argc > 1 && std::strcmp(argv[1], "exit") == 0;
  const bool quick = by_exit || (argc > 1 && std::strcmp(argv[1], "quick") == 0);
  if (argc > 1 && std::strcmp(argv[1], "destroyed") == 0) return run_destroyed(app);

  melodrin::Application melodrin(loopback_endpoints(), held_fetch(quick));
  melodrin.show();

  QTimer::singleShot(0, [&melodrin, by_exit] {
    // The picker stays open: closing the main window ends the program anyway.
    melodrin.main_window().open_picker();
    melodrin.main_window().picker()->on_url_changed("https://127.0.0.1:1/song/1", 1);
    GetJob job;
    melodrin.main_window().on_load_url_begin("https://127.0.0.1:1/yy/index.php?r=1", job);
    {
      std::unique_lock lock(g_mutex);
      g_changed.wait(lock, [] { return g_started; });
      g_release = true;
      g_changed.notify_all();
    }
    std::puts("worker running");
    print_texts("before quit", melodrin.texts());
    if (by_exit) {
      QCoreApplication::exit(0);
    } else {
      melodrin.main_window().close();
    }
  });
  const int code = app.exec();
  print_texts("after quit", melodrin.texts());
  // A stuck worker ends with the process inside finish().
  const int finished = quick ? melodrin.finish(code, std::chrono::seconds(30)) : melodrin.finish(code);
  const melodrin::PickerWindow* picker = melodrin.main_window().picker();
  std::puts(picker && picker->isVisible() ? "picker shown" : "picker hidden");
  std::puts(melodrin.main_window().isVisible() ? "main window shown" : "main window hidden");
  std::puts(g_thread_ended ? "worker thread ended" : "worker thread still exiting");
  std::fflush(stdout);
  return finished;
}
