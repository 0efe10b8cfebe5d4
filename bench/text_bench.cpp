// Text search, split and replace over an 8 MiB mixed GBK and ASCII text,
// each against the nearest std::string operation run on the same text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "text/text.h"

namespace {

using melodrin::Text;
using melodrin::TextArray;

const Text kAsciiNeedle = "melodrin-needle";
const Text kGbkNeedle = "\xD6\xD0\xCE\xC4\xC3\xFB\xD7\xD6";  // four characters
const Text kSeparator = ",";
const Text kJsonpTail = ");";
const Text kWord = "kugou";

// Words, separators and runs of double-byte characters (GB2312 ones and GBK
// extension ones whose trail bytes are ASCII letters), with both needles at the end.
const Text& corpus() {
  static const Text text = [] {
    std::mt19937 random(20201129);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    Text out;
    const std::size_t target = 8u << 20;
    out.reserve(target + 64);
    while (out.size() < target) {
      switch (pick(0, 9)) {
        case 0:
        case 1:
        case 2:
        case 3: {
          const int n = pick(2, 10);
          for (int i = 0; i < n; ++i) out.push_back(static_cast<char>(pick('a', 'z')));
          out.push_back(' ');
          break;
        }
        case 4:
          out += ", ";
          break;
        case 5:
          out += pick(0, 3) == 0 ? kJsonpTail : (pick(0, 1) ? "KuGou " : "kugou ");
          break;
        case 6:
          out += std::to_string(pick(0, 99999));
          break;
        default: {
          const int n = pick(2, 24);
          for (int i = 0; i < n; ++i) {
            if (pick(0, 7) == 0) {
              out.push_back(static_cast<char>(pick(0x81, 0xA0)));
              out.push_back(static_cast<char>(pick(0x40, 0x7E)));
            } else {
              out.push_back(static_cast<char>(pick(0xB0, 0xF7)));
              out.push_back(static_cast<char>(pick(0xA1, 0xFE)));
            }
          }
        }
      }
    }
    out += kGbkNeedle + " " + kAsciiNeedle;
    return out;
  }();
  return text;
}

TextArray std_split(const Text& text, const Text& separator) {
  TextArray pieces;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(separator, from)) != Text::npos; from = at + separator.size())
    pieces.push_back(text.substr(from, at - from));
  if (from < text.size()) pieces.push_back(text.substr(from));
  return pieces;
}

Text std_replace(const Text& text, const Text& sought, const Text& replacement) {
  Text out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(sought, from)) != Text::npos; from = at + sought.size()) {
    out.append(text, from, at - from);
    out.append(replacement);
  }
  out.append(text, from, Text::npos);
  return out;
}

void find_ascii_melodrin(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(melodrin::find(corpus(), kAsciiNeedle));
}
void find_ascii_std(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(corpus().find(kAsciiNeedle));
}
void find_gbk_melodrin(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(melodrin::find(corpus(), kGbkNeedle));
}
void find_gbk_std(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(corpus().find(kGbkNeedle));
}
void split_melodrin(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(melodrin::split(corpus(), kSeparator));
}
void split_std(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(std_split(corpus(), kSeparator));
}
void replace_melodrin(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(
        melodrin::replace_subtexts(corpus(), kJsonpTail, "", 1, std::nullopt, true));
}
void replace_std(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(std_replace(corpus(), kJsonpTail, ""));
}
// The default replace ignores case; its nearest std loop is the exact one.
void replace_folded_melodrin(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(melodrin::replace_subtexts(corpus(), kWord, "x"));
}
void replace_folded_std(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(std_replace(corpus(), kWord, "x"));
}

struct Pair {
  const char* name;
  void (*ours)(benchmark::State&);
  void (*reference)(benchmark::State&);
};
const Pair kPairs[] = {
    {"find ascii", find_ascii_melodrin, find_ascii_std},
    {"find gbk", find_gbk_melodrin, find_gbk_std},
    {"split", split_melodrin, split_std},
    {"replace", replace_melodrin, replace_std},
    {"replace ignoring case", replace_folded_melodrin, replace_folded_std},
};

// Keeps the median time of every benchmark while printing as usual.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
  }
  std::map<std::string, double> medians;
};

// The results must agree with the std operations where no match can start
// on a trail byte (the separators are below 0x40, which GBK never uses as one).
bool results_agree() {
  const Text& text = corpus();
  bool ok = true;
  if (melodrin::find(text, kAsciiNeedle) != static_cast<long>(text.find(kAsciiNeedle)) + 1) {
    std::fprintf(stderr, "find disagrees\n");
    ok = false;
  }
  if (melodrin::split(text, kSeparator) != std_split(text, kSeparator)) {
    std::fprintf(stderr, "split disagrees\n");
    ok = false;
  }
  if (melodrin::replace_subtexts(text, kJsonpTail, "", 1, std::nullopt, true) !=
      std_replace(text, kJsonpTail, "")) {
    std::fprintf(stderr, "replace disagrees\n");
    ok = false;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (!results_agree()) return 1;
  for (const Pair& pair : kPairs) {
    for (int side = 0; side < 2; ++side) {
      const std::string name = std::string(pair.name) + (side == 0 ? " / melodrin" : " / std");
      benchmark::RegisterBenchmark(name.c_str(), side == 0 ? pair.ours : pair.reference)
          ->Unit(benchmark::kMillisecond)
          ->Repetitions(5)
          ->ReportAggregatesOnly(true);
    }
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-24s %12s %12s %8s\n", "operation", "melodrin ms", "std ms", "ratio");
  double worst = 0;
  for (const Pair& pair : kPairs) {
    const auto ours = reporter.medians.find(std::string(pair.name) + " / melodrin");
    const auto reference = reporter.medians.find(std::string(pair.name) + " / std");
    if (ours == reporter.medians.end() || reference == reporter.medians.end()) continue;
    const double ratio = ours->second / reference->second;
    worst = std::max(worst, ratio);
    std::printf("%-24s %12.3f %12.3f %8.2f\n", pair.name, ours->second, reference->second, ratio);
  }
  std::printf("worst ratio: %.2f\n", worst);
  return 0;
}
