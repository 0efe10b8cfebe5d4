// From a captured API request to the four boxes written on the UI thread,
// against the bare winhttp_request of the same loopback address in the same
// run. The difference is what the program adds: the worker thread, the JSON
// object, and the queued writes.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <QApplication>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include "app/app_texts.h"
#include "app/browser_engine.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/save_dialog.h"
#include "app/shell.h"
#include "app/web_browser.h"
#include "app/worker_pool.h"
#include "tests/support/test_server.h"
#include "winhttp/winhttp_request.h"

namespace {

using melodrin::testing::TestServer;

class Quiet final : public melodrin::MessageBoxes, public melodrin::Shell, public melodrin::SaveDialog {
 public:
  void information(QWidget*, const QString&, const QString&) override {}
  void warning(QWidget*, const QString&, const QString&) override {}
  void error(QWidget*, const QString&, const QString&) override {}
  void open_address(const QString&) override {}
  QString desktop_folder() const override { return {}; }
  std::optional<QString> ask(QWidget*, const melodrin::SaveDialogSettings&) override { return std::nullopt; }
};

struct GetJob final : melodrin::RequestJob {
  void hook_request() override {}
  int request_method() const override { return kGet; }
};

TestServer* g_server = nullptr;
melodrin::MainWindow* g_window = nullptr;
std::string g_url;

void BM_BareRequest(benchmark::State& state) {
  melodrin::WinHttpArgs args;
  args.url = g_url;
  for (auto _ : state) benchmark::DoNotOptimize(melodrin::winhttp_request(args));
}

void BM_CaptureToBoxes(benchmark::State& state) {
  GetJob job;
  QLineEdit* last_box = g_window->编辑框_下载地址();
  for (auto _ : state) {
    last_box->clear();
    g_window->on_load_url_begin(g_url, job);
    while (last_box->text().isEmpty()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

// Keeps the mean real time of each benchmark, in milliseconds.
class MeanReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "mean") continue;
      means[run.run_name.function_name] =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
    }
  }
  std::map<std::string, double> means;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TestServer server;
  if (!server.start()) {
    std::fprintf(stderr, "the loopback server did not start\n");
    return 1;
  }
  g_server = &server;
  server.serve("/yy/index.php", "text/javascript; charset=utf-8",
               R"(jQuery1910({"status":1,"err_code":0,"data":{"hash":"0123456789ABCDEF","timelength":334000,)"
               R"("album_name":"Album","author_name":"Singer","audio_name":"Singer - Title",)"
               R"("img":"http:\/\/imge.example\/cover.jpg","lyrics":"[00:00.78]...",)"
               R"("play_url":"https:\/\/webfs.example\/0123456789abcdef.mp3","bitrate":128}});)");
  g_url = server.https_url("/yy/index.php?r=play/getdata&callback=jQuery1910&hash=0123456789ABCDEF&mid=1&signature=0f3c");

  Quiet quiet;
  // No web view is needed from capture to boxes.
  melodrin::BrowserEngine engine(quiet, QStringLiteral("/nonexistent/QtWebEngineProcess"));
  melodrin::WorkerPool workers;
  melodrin::AppTexts texts;
  melodrin::AppServices services;
  services.endpoints = {"127.0.0.1", server.https_authority(), ""};
  services.messages = &quiet;
  services.shell = &quiet;
  services.save_dialog = &quiet;
  services.engine = &engine;
  services.workers = &workers;
  services.texts = &texts;
  services.song_fetch = melodrin::winhttp_song_fetch();
  melodrin::MainWindow window(services);
  g_window = &window;

  benchmark::Initialize(&argc, argv);
  for (auto* bench : {benchmark::RegisterBenchmark("bare_winhttp_request", BM_BareRequest),
                      benchmark::RegisterBenchmark("capture_to_boxes", BM_CaptureToBoxes)}) {
    bench->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true)->MinTime(0.3);
  }
  MeanReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  workers.wait_idle(std::chrono::seconds(30));

  const double bare = reporter.means["bare_winhttp_request"];
  const double ours = reporter.means["capture_to_boxes"];
  std::printf("\n%-24s %12s %8s\n", "one song request", "mean ms", "ratio");
  std::printf("%-24s %12.3f %8.2f\n", "capture to boxes", ours, bare > 0 ? ours / bare : 0.0);
  std::printf("%-24s %12.3f %8.2f\n", "bare winhttp_request", bare, 1.0);
  std::printf("goal: at most 10 ms more than the bare request\n");
  std::printf("overhead: %.3f ms\n", ours - bare);
  return 0;
}
