// The song-info worker's JSON step (construct, parse the unwrapped reply, read
// the four song fields, destroy) against the bare cost of the two script
// engines it has to create.
#include <cstdio>
#include <map>
#include <string>

#include <QCoreApplication>
#include <QJSEngine>

#include <benchmark/benchmark.h>

#include "json/json_object.h"
#include "text/codepage.h"
#include "text/search.h"
#include "text/text.h"

namespace {

using melodrin::JsonObject;
using melodrin::Text;

const char* const kFields[] = {"data.album_name", "data.author_name", "data.audio_name",
                               "data.play_url"};

// A reply shaped like the service's, most of it the lyrics.
Text make_reply(const std::string& lyrics) {
  const std::string json =
      R"({"status":1,"err_code":0,"data":{"hash":"3C3F2B5E1D7A4B6C9E0F1A2B3C4D5E6F",)"
      R"("timelength":245000,"filesize":3921846,"audio_name":"歌手 - 月光下的河流",)"
      R"("have_album":1,"album_name":"河流与山岗","album_id":"38710254",)"
      R"("img":"http:\/\/imge.kugou.com\/stdmusic\/20200909\/20200909181606287862.jpg",)"
      R"("have_mv":0,"video_id":0,"author_name":"歌手","song_name":"月光下的河流",)"
      R"("lyrics":")" + lyrics + R"(","author_id":"771230","privilege":8,"privilege2":"1000",)"
      R"("play_url":"https:\/\/webfs.yun.kugou.com\/202011291530\/5d0f3c9e2b7a4e61a3f8\/G243\/M03\/0B\/0C\/cw4DAF9YyvaAP_9VADvZ3gS0yE8817.mp3",)"
      R"("authors":[{"author_id":"771230","is_publish":"1","sizable_avatar":"http:\/\/singerimg.kugou.com\/uploadpic\/softhead\/{size}\/20200820\/20200820183204392.jpg",)"
      R"("author_name":"歌手","avatar":"http:\/\/singerimg.kugou.com\/uploadpic\/softhead\/400\/20200820\/20200820183204392.jpg"}],)"
      R"("is_free_part":0,"bitrate":128,"recommend_album_id":"38710254","audio_id":"87162093",)"
      R"("has_privilege":true,"play_backup_url":"https:\/\/webfs.cloud.kugou.com\/202011291530\/cw4DAF9YyvaAP_9VADvZ3gS0yE8817.mp3"}})";
  return melodrin::utf8_to_gbk("jQuery19107362830216213564_1606634997001(" + json + ");");
}

Text unwrap(const Text& reply);

// The reply grown until its document is 6 KiB.
Text make_reply() {
  std::string lyrics;
  for (int line = 0;; ++line) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%02d:%02d.%02d]", line / 20, line * 3 % 60, line % 100);
    std::string next = lyrics + stamp +
                       (line % 2 ? "风吹过山岗 月光洒满窗\\r\\n" : "I walk along the river side\\r\\n");
    if (unwrap(make_reply(next)).size() > 6144) return make_reply(lyrics);
    lyrics = std::move(next);
  }
}

// As the worker cuts the document out of the reply.
Text unwrap(const Text& reply) {
  const melodrin::TextArray pieces = melodrin::split(reply, "({");
  if (pieces.size() < 2) return {};
  return melodrin::replace_pairs(melodrin::insert_widened(pieces[1], "{", 0), {{");", ""}});
}

const Text& document() {
  static const Text text = unwrap(make_reply());
  return text;
}

void BM_BareEngineCreation(benchmark::State& state) {
  for (auto _ : state) {
    QJSEngine engine;
    benchmark::DoNotOptimize(&engine);
  }
}
BENCHMARK(BM_BareEngineCreation)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_WorkerJsonStep(benchmark::State& state) {
  const Text& text = document();
  for (auto _ : state) {
    JsonObject object;
    object.parse(text);
    for (const char* path : kFields) benchmark::DoNotOptimize(object.get_text(path));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_WorkerJsonStep)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Keeps each benchmark's real time per iteration, in microseconds.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      m_micros[run.run_name.function_name] =
          run.GetAdjustedRealTime() * 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double micros(const std::string& name) const {
    const auto it = m_micros.find(name);
    return it == m_micros.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> m_micros;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  JsonObject check;
  if (!check.parse(document()) || check.get_text("data.album_name").empty() ||
      check.get_engine()->eval_text("typeof get__extend") != "function") {
    std::fprintf(stderr, "the benchmark's reply does not parse\n");
    return 1;
  }
  std::printf("reply: %zu bytes, document: %zu bytes\n", make_reply().size(), document().size());

  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double bare = reporter.micros("BM_BareEngineCreation");
  const double step = reporter.micros("BM_WorkerJsonStep");
  if (bare <= 0 || step <= 0) return 0;
  std::printf("bare QJSEngine creation: %.1f us\n", bare);
  std::printf("worker JSON step: %.1f us (goal: under 5000 us and at most %.1f us)\n", step,
              1.5 * 2 * bare);
  std::printf("worker JSON step: %.3f ms, %.2f x two bare engine creations\n", step / 1000,
              step / (2 * bare));
  return 0;
}
