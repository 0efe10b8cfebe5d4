// A 256 MiB body from the loopback server: wininet_request streaming into a
// sink against the curl command-line tool writing to /dev/null, same URL,
// same run. Prints the throughput ratio and how much the peak resident size
// of this process grew while the downloads ran.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "tests/support/test_server.h"
#include "wininet/wininet_request.h"

namespace {

constexpr std::uint64_t kBodySize = 256ull << 20;
const char kCurlTool[] = "/usr/bin/curl";

melodrin::testing::TestServer g_server;
std::string g_url;

long peak_resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Like the tool, the sink hands every piece to /dev/null.
void wininet_with_sink(benchmark::State& state) {
  const int null_device = ::open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    std::uint64_t received = 0;
    melodrin::WinInetOutcome outcome;
    melodrin::wininet_request({.url = g_url,
                               .body_sink = [&received, null_device](const char* data, std::size_t size) {
                                 received += size;
                                 return ::write(null_device, data, size) == static_cast<ssize_t>(size);
                               },
                               .outcome = &outcome});
    if (!outcome.succeeded() || received != kBodySize) {
      state.SkipWithError(("download failed: " + outcome.error_text).c_str());
      break;
    }
  }
  ::close(null_device);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBodySize));
}

void curl_tool(benchmark::State& state) {
  const std::string command =
      std::string(kCurlTool) + " -s -o /dev/null -w '%{size_download}' '" + g_url + "'";
  for (auto _ : state) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
      state.SkipWithError("curl did not start");
      break;
    }
    unsigned long long size = 0;
    const int read = std::fscanf(pipe, "%llu", &size);
    if (::pclose(pipe) != 0 || read != 1 || size != kBodySize) {
      state.SkipWithError("curl download failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBodySize));
}

constexpr int kRounds = 9;

// Collects the wall time of every run by side, so that both sides see the
// same drift of a shared machine: the rounds alternate between them.
class SideReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.run_name.function_name;
      times[name.substr(0, name.find('#'))].push_back(run.GetAdjustedRealTime());
    }
  }
  double median(const std::string& side) {
    std::vector<double>& t = times[side];
    if (t.empty()) return 0;
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
  }
  std::map<std::string, std::vector<double>> times;
};

}  // namespace

int main(int argc, char** argv) {
  if (!g_server.start()) {
    std::fprintf(stderr, "the loopback server did not start\n");
    return 1;
  }
  g_url = g_server.http_url("/bytes?n=" + std::to_string(kBodySize));

  for (int round = 1; round <= kRounds; ++round) {
    for (const auto& [name, function] : {std::pair{"wininet_request with sink", &wininet_with_sink},
                                         std::pair{"curl tool", &curl_tool}}) {
      benchmark::RegisterBenchmark((std::string(name) + "#" + std::to_string(round)).c_str(), function)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Iterations(1);
    }
  }
  benchmark::Initialize(&argc, argv);
  SideReporter reporter;
  const long peak_before = peak_resident_kib();
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const long peak_after = peak_resident_kib();
  benchmark::Shutdown();
  g_server.stop();

  const double ours = reporter.median("wininet_request with sink");
  const double reference = reporter.median("curl tool");
  if (ours <= 0 || reference <= 0) return 1;
  const double mib = static_cast<double>(kBodySize) / (1 << 20);
  std::printf("\n%-28s %12s %10s\n", "download of 256 MiB", "median ms", "MiB/s");
  std::printf("%-28s %12.1f %10.1f\n", "wininet_request with sink", ours, mib / (ours / 1000));
  std::printf("%-28s %12.1f %10.1f\n", "curl tool", reference, mib / (reference / 1000));
  std::printf("throughput ratio: %.2f, peak memory growth: %.1f MiB\n", reference / ours,
              static_cast<double>(peak_after - peak_before) / 1024);
  return 0;
}
