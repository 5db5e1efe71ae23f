// Throughput of ExtractText with all eleven options on, in MB/s of UTF-16
// input (two bytes per code unit; 1 MB = 10^6 bytes in the summary):
//   PageMix/16MiB       generated pages that look like real HTML
//   PageMixInPlace/16MiB the same through ExtractTextInPlace
//   HtmlFolder          every .html/.htm file under $SIEVETEXT_BENCH_HTML
//   Adversarial/<name>  hostile inputs at 1 MiB and 16 MiB
//   PageMix/256KiB and Reference/PageMix/256KiB: fast against literal
// After the runs a summary puts the figures side by side. Times are
// wall-clock time: a long text is worked on by two threads, and the CPU time
// of the calling thread alone would leave the second one out. Measure on a
// quiet machine.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_inputs.h"
#include "engine/cSievetext.h"
#include "tests/engine/reference/engine_options.h"
#include "tests/engine/reference/reference_sievetext.h"

namespace sievetext::bench {
namespace {

// Minor page faults of this process so far.
long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

constexpr std::size_t kMiB = 1u << 20;
constexpr std::size_t kUnitsPerMiB = kMiB / 2;  // UTF-16 code units

// With `inPlace`, ExtractTextInPlace, the entry point the program, the
// library and the window use: it spares the copy of the text that
// ExtractText returns.
template <class Engine>
void RunOnce(benchmark::State& state, const std::vector<std::u16string>& docs,
             bool inPlace = false) {
  Engine engine;
  SetOptions(engine, kAllOptions);
  std::vector<std::u16string> work;
  std::size_t units = 0;
  for (const auto& d : docs) units += d.size();
  // Fresh pages cost a fault each the first time they are touched; those
  // taken while the engine runs show what it asks of the memory system.
  long faults = 0;
  for (auto _ : state) {
    state.PauseTiming();
    work = docs;  // ExtractText cuts its input in place
    const long before = MinorFaults();
    state.ResumeTiming();
    for (auto& d : work) {
      if constexpr (requires { engine.ExtractTextInPlace(d); }) {
        if (inPlace) {
          engine.ExtractTextInPlace(d);
          benchmark::DoNotOptimize(d.data());
          continue;
        }
      }
      benchmark::DoNotOptimize(engine.ExtractText(d));
    }
    state.PauseTiming();
    faults += MinorFaults() - before;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(units) * 2);
  state.counters["faults/iter"] =
      benchmark::Counter(static_cast<double>(faults), benchmark::Counter::kAvgIterations);
}

// Inputs are made on first use, so that a --benchmark_filter run builds only
// what it measures.
const std::vector<std::u16string>& Input(const std::string& key) {
  static std::map<std::string, std::vector<std::u16string>> cache;
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  std::vector<std::u16string> docs;
  if (key == "PageMix/16MiB") {
    docs.push_back(PageMix(16 * kUnitsPerMiB));
  } else if (key == "PageMix/256KiB") {
    docs.push_back(PageMix(kUnitsPerMiB / 4));
  } else if (key == "HtmlFolder") {
    docs = HtmlFilesUnder(std::getenv("SIEVETEXT_BENCH_HTML"));
  } else {
    // Adversarial/<name>/<n>MiB
    auto slash = key.find('/', 12);
    std::string name = key.substr(12, slash - 12);
    std::size_t mib = std::stoul(key.substr(slash + 1));
    docs.push_back(Adversarial(name, mib * kUnitsPerMiB));
  }
  return cache.emplace(key, std::move(docs)).first->second;
}

void RegisterAll() {
  auto fast = [](const std::string& key) {
    return [key](benchmark::State& s) { RunOnce<cSievetext>(s, Input(key)); };
  };
  benchmark::RegisterBenchmark("PageMix/16MiB", fast("PageMix/16MiB"))
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark(
      "PageMixInPlace/16MiB",
      [](benchmark::State& s) { RunOnce<cSievetext>(s, Input("PageMix/16MiB"), true); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  if (std::getenv("SIEVETEXT_BENCH_HTML") != nullptr) {
    benchmark::RegisterBenchmark("HtmlFolder", fast("HtmlFolder"))
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  for (const auto& name : kAdversarialNames) {
    for (int mib : {1, 16}) {
      std::string key = "Adversarial/" + name + "/" + std::to_string(mib) + "MiB";
      benchmark::RegisterBenchmark(key.c_str(), fast(key))
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  benchmark::RegisterBenchmark("PageMix/256KiB", fast("PageMix/256KiB"))
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark(
      "Reference/PageMix/256KiB",
      [](benchmark::State& s) { RunOnce<ReferenceSievetext>(s, Input("PageMix/256KiB")); })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(2);
}

// Keeps the console output and remembers seconds per iteration and bytes
// per second of every run for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  struct Figure {
    double secondsPerIteration = 0;
    double bytesPerSecond = 0;
  };
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      Figure f;
      f.secondsPerIteration =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      auto bytes = run.counters.find("bytes_per_second");
      if (bytes != run.counters.end()) f.bytesPerSecond = bytes->second.value;
      figures[run.run_name.function_name] = f;
    }
  }
  std::map<std::string, Figure> figures;
};

void PrintSummary(const std::map<std::string, SummaryReporter::Figure>& figures) {
  auto mbps = [&](const std::string& key) {
    auto it = figures.find(key);
    return it == figures.end() ? 0.0 : it->second.bytesPerSecond / 1e6;
  };
  auto found = [&](const std::string& key) { return figures.count(key) != 0; };
  std::printf("\n== Summary (all eleven options on; MB = 10^6 bytes of UTF-16 input)\n");
  double pageMix = mbps("PageMix/16MiB");
  if (found("PageMix/16MiB"))
    std::printf("(a) page mix 16 MiB:            %8.1f MB/s   target >= 400     %s\n", pageMix,
                pageMix >= 400 ? "ok" : "MISSED");
  if (found("PageMixInPlace/16MiB"))
    std::printf("    in place (as the program runs): %8.1f MB/s\n", mbps("PageMixInPlace/16MiB"));
  if (found("HtmlFolder")) {
    const auto& docs = Input("HtmlFolder");
    std::size_t units = 0;
    for (const auto& d : docs) units += d.size();
    std::printf("(b) HTML folder:                %8.1f MB/s   (%zu files, %.1f MB)\n",
                mbps("HtmlFolder"), docs.size(), double(units) * 2 / 1e6);
  }
  std::printf(
      "(c) adversarial, 16 MiB time per byte relative to (a) [target <= 4],\n"
      "    and 16 MiB time over 1 MiB time [target <= 20]:\n");
  for (const auto& name : kAdversarialNames) {
    std::string big = "Adversarial/" + name + "/16MiB";
    std::string small = "Adversarial/" + name + "/1MiB";
    if (!found(big)) continue;
    double perByte = pageMix > 0 ? pageMix / mbps(big) : 0;
    double growth =
        found(small) ? figures.at(big).secondsPerIteration / figures.at(small).secondsPerIteration
                     : 0;
    std::printf("    %-16s %8.1f MB/s   x%5.2f of (a) %-6s   16/1 MiB time x%6.2f %s\n",
                name.c_str(), mbps(big), perByte,
                pageMix <= 0   ? "n/a"
                : perByte <= 4 ? "ok"
                               : "MISSED",
                growth, growth <= 20 ? "ok" : "MISSED");
  }
  if (found("PageMix/256KiB") && found("Reference/PageMix/256KiB")) {
    double ratio = mbps("PageMix/256KiB") / mbps("Reference/PageMix/256KiB");
    std::printf(
        "(d) fast / reference on 256 KiB: x%.1f (%.1f against %.2f MB/s)   target >= 50  %s\n",
        ratio, mbps("PageMix/256KiB"), mbps("Reference/PageMix/256KiB"),
        ratio >= 50 ? "ok" : "MISSED");
  }
}

}  // namespace
}  // namespace sievetext::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  sievetext::bench::RegisterAll();
  sievetext::bench::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  sievetext::bench::PrintSummary(reporter.figures);
  return 0;
}
