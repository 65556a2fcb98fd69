// The shared main of the stage benchmarks: builds every input once, then times a stage on a
// fresh copy of it per iteration, with the copy outside the timed span, and reports the
// average time, bytes per second and the best run's MB/s. Only the stage is timed: no
// generation, no copying, no disk.
//
// Options of our own (the rest go to Google Benchmark, e.g. --benchmark_filter=typical):
//   --smoke   inputs of 4 and 64 KiB, one iteration each: checks that everything runs and
//             that no stage reports a failure; its times mean nothing.
// With CSSQUEEZE_BENCH_FILES (paths, by spaces), those files are timed too, each whole.
#ifndef BENCH_BENCH_HARNESS_H_
#define BENCH_BENCH_HARNESS_H_

#include <benchmark/benchmark.h>

#include <utility>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/stylesheet_generator.h"

struct timed_stage {
  const char* name;
  // Run once on each input before timing, to give the stage the text it sees in a real
  // run (for example with comments gone); nullptr to time on the input as generated.
  void (*prepare)(std::string& text);
  // The timed work, on a fresh copy of the prepared input; false if the stage failed.
  bool (*run)(std::string& text);
};

// Inputs shorter than this after preparation are not timed: the clock's resolution would
// decide their MB/s.
constexpr std::size_t min_timed_bytes = 4096;

inline std::string size_name(std::size_t bytes) {
  return bytes >= (std::size_t{1} << 20) ? std::to_string(bytes >> 20) + "MiB"
                                         : std::to_string(bytes >> 10) + "KiB";
}

// Takes our own --smoke out of the arguments and hands the rest to Google Benchmark.
// Returns false when an argument is not understood (Google Benchmark has said which).
inline bool initialize_benchmarks(int argc, char** argv, bool& smoke) {
  smoke = false;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--smoke") {
      smoke = true;
    } else {
      args.push_back(argv[i]);
    }
  }
  int arg_count = static_cast<int>(args.size());
  benchmark::Initialize(&arg_count, args.data());
  return !benchmark::ReportUnrecognizedArguments(arg_count, args.data());
}

inline int run_stage_benchmarks(int argc, char** argv, const std::vector<timed_stage>& stages) {
  bool smoke = false;
  if (!initialize_benchmarks(argc, argv, smoke)) return 1;

  // 16 MiB keeps a run of every input within seconds at the speeds a linear stage reaches,
  // while a quadratic one would take hours on it. Each input also runs at 1/16 of that
  // size, right before: a linear stage shows about the same MB/s at both.
  const std::size_t size = smoke ? std::size_t{64} << 10 : std::size_t{16} << 20;
  const std::int64_t iterations = smoke ? 1 : 5;

  std::vector<stylesheet_generator::named_input> small_inputs =
      stylesheet_generator::make_bench_inputs(size / 16);
  std::vector<stylesheet_generator::named_input> large_inputs =
      stylesheet_generator::make_bench_inputs(size);
  std::vector<stylesheet_generator::named_input> inputs;
  for (std::size_t i = 0; i < large_inputs.size(); ++i) {
    inputs.push_back({small_inputs[i].name + "/" + size_name(size / 16),
                      std::move(small_inputs[i].text)});
    inputs.push_back({large_inputs[i].name + "/" + size_name(size),
                      std::move(large_inputs[i].text)});
  }
  // Real stylesheets too, whole, named by their file: CSSQUEEZE_BENCH_FILES="a.css b.css".
  if (const char* files = std::getenv("CSSQUEEZE_BENCH_FILES"); files != nullptr && !smoke) {
    std::istringstream paths(files);
    for (std::string path; paths >> path;) {
      std::ifstream file(path, std::ios::binary);
      std::ostringstream text;
      text << file.rdbuf();
      inputs.push_back({path.substr(path.find_last_of('/') + 1), std::move(text).str()});
    }
  }

  // Every prepared input lives until the benchmarks have run, and the reserve keeps it in
  // place: the benchmarks refer to it.
  std::vector<std::string> prepared;
  prepared.reserve(stages.size() * inputs.size());
  bool any_failed = false;  // makes the exit status non-zero, so the smoke run catches it
  for (const timed_stage& stage : stages) {
    for (const auto& input : inputs) {
      prepared.push_back(input.text);
      if (stage.prepare != nullptr) stage.prepare(prepared.back());
      // When the earlier stages leave next to nothing (only comments, one long string),
      // there is nothing worth timing.
      if (!smoke && prepared.back().size() < min_timed_bytes) continue;
      const std::string& text = prepared.back();
      const auto run = stage.run;
      const std::string name = std::string(stage.name) + "/" + input.name;
      benchmark::RegisterBenchmark(name.c_str(), [&text, &any_failed, run](benchmark::State& state) {
        std::string copy;
        double best = 0;
        for (auto _ : state) {
          copy = text;  // reuses the copy's buffer: a plain memcpy, not timed
          const auto start = std::chrono::steady_clock::now();
          const bool ok = run(copy);
          benchmark::ClobberMemory();
          const double seconds =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          state.SetIterationTime(seconds);
          if (!ok) {
            any_failed = true;
            state.SkipWithError("the stage reported a failure");
            break;
          }
          if (best == 0 || seconds < best) best = seconds;
        }
        const auto bytes = static_cast<std::int64_t>(text.size());
        state.SetBytesProcessed(state.iterations() * bytes);
        state.counters["MB"] = static_cast<double>(bytes) / 1e6;
        if (best > 0) state.counters["best_MB/s"] = static_cast<double>(bytes) / 1e6 / best;
      })
          ->UseManualTime()
          ->Iterations(iterations)
          ->Unit(benchmark::kMillisecond);
    }
  }

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return any_failed ? 1 : 0;
}

#endif  // BENCH_BENCH_HARNESS_H_
