// Micro-benchmarks of the compile road on in-memory text: the scanner, one
// preprocessor walk, both passes as a compile runs them, the compiler on
// preprocessed text, and the whole road. The argument is the number of
// source lines; throughput is reported in bytes of the text each step reads.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/cs_string_list.h"
#include "bench/bench_text.h"
#include "compiler/compile_text.h"
#include "driver/compile_source.h"
#include "driver/memory_include_files.h"
#include "driver/source_position.h"
#include "driver/standard_tokens.h"
#include "preprocessor/pre_processor.h"
#include "preprocessor/scanner.h"

namespace marlo::bench {
namespace {

// The header, served from memory so that no step touches the disk.

// One size's inputs, made once: the source and its preprocessed text.
struct Inputs {
  BenchText text;
  std::unique_ptr<core::MemoryIncludeFiles> includes;
  std::string preprocessed;
};

const core::TCsStringList& StandardTokens() { return core::StandardTokenList(); }

void Prepare(core::TPreProcessor& preprocessor, const Inputs& inputs) {
  preprocessor.SetTokens(StandardTokens());
  preprocessor.SetIncludeFiles(inputs.includes.get());
}

// Null when the text does not preprocess (the benchmark then reports it).
const Inputs* InputsFor(int lines) {
  static std::map<int, std::unique_ptr<Inputs>> cache;
  std::unique_ptr<Inputs>& slot = cache[lines];
  if (!slot) {
    slot = std::make_unique<Inputs>();
    slot->text = MakeBenchText(lines);
    slot->includes = std::make_unique<core::MemoryIncludeFiles>();
    slot->includes->Add(BenchText::kHeaderName, slot->text.header);
    core::TPreProcessor preprocessor;
    Prepare(preprocessor, *slot);
    if (core::PreprocessTwice(preprocessor, slot->text.main, "main.bos", {}))
      slot->preprocessed = preprocessor.Source();
  }
  return slot->preprocessed.empty() ? nullptr : slot.get();
}

void SetBytes(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

void BM_Scan(benchmark::State& state) {
  const Inputs* inputs = InputsFor(static_cast<int>(state.range(0)));
  if (!inputs) return state.SkipWithError("the generated text does not preprocess");
  core::TScanner scanner;
  scanner.ConfigureForPreprocessor(StandardTokens());
  for (auto _ : state) {
    scanner.Scan(inputs->text.main);
    benchmark::DoNotOptimize(scanner.Count());
  }
  SetBytes(state, inputs->text.main.size());
}

void BM_PreprocessOnce(benchmark::State& state) {
  const Inputs* inputs = InputsFor(static_cast<int>(state.range(0)));
  if (!inputs) return state.SkipWithError("the generated text does not preprocess");
  core::TPreProcessor preprocessor;
  Prepare(preprocessor, *inputs);
  for (auto _ : state) {
    preprocessor.Reset();
    preprocessor.SetIncludeDirs("");
    preprocessor.SetFileName("main.bos");
    preprocessor.Execute(inputs->text.main);
    if (preprocessor.Failed()) return state.SkipWithError("preprocessing failed");
    benchmark::DoNotOptimize(preprocessor.Source().size());
  }
  SetBytes(state, inputs->text.main.size());
}

void BM_PreprocessTwice(benchmark::State& state) {
  const Inputs* inputs = InputsFor(static_cast<int>(state.range(0)));
  if (!inputs) return state.SkipWithError("the generated text does not preprocess");
  core::TPreProcessor preprocessor;
  Prepare(preprocessor, *inputs);
  for (auto _ : state) {
    if (!core::PreprocessTwice(preprocessor, inputs->text.main, "main.bos", {}))
      return state.SkipWithError("preprocessing failed");
    benchmark::DoNotOptimize(preprocessor.Source().size());
  }
  SetBytes(state, inputs->text.main.size());
}

void BM_CompileText(benchmark::State& state) {
  const Inputs* inputs = InputsFor(static_cast<int>(state.range(0)));
  if (!inputs) return state.SkipWithError("the generated text does not preprocess");
  const core::CompileOptions options;
  for (auto _ : state) {
    const core::CompileOutcome outcome = core::CompileText(inputs->preprocessed, options);
    if (!outcome.ok) return state.SkipWithError(("compile failed: " + outcome.errorText).c_str());
    benchmark::DoNotOptimize(outcome.image.code.size());
  }
  SetBytes(state, inputs->preprocessed.size());
}

// Both passes and the compiler, measured against the source text: the
// in-memory part of what marloc does for one file.
void BM_WholeRoad(benchmark::State& state) {
  const Inputs* inputs = InputsFor(static_cast<int>(state.range(0)));
  if (!inputs) return state.SkipWithError("the generated text does not preprocess");
  core::TPreProcessor preprocessor;
  Prepare(preprocessor, *inputs);
  const core::CompileOptions options;
  for (auto _ : state) {
    if (!core::PreprocessTwice(preprocessor, inputs->text.main, "main.bos", {}))
      return state.SkipWithError("preprocessing failed");
    const core::CompileOutcome outcome = core::CompileText(preprocessor.Source(), options);
    if (!outcome.ok) return state.SkipWithError(("compile failed: " + outcome.errorText).c_str());
    benchmark::DoNotOptimize(outcome.image.code.size());
  }
  SetBytes(state, inputs->text.main.size());
}

// Leading every warning of a compile back to its file, line and column, as
// marloc and the language server do: one warning on each of `lines` lines.
void BM_LocateWarnings(benchmark::State& state) {
  std::string text = "piece base;\r\nCreate()\r\n{\r\n";
  for (std::int64_t i = 0; i < state.range(0); ++i) text += "  turn base to x-axis <.> speed <1>;\r\n";
  text += "}\r\n";
  core::TPreProcessor preprocessor;
  preprocessor.SetTokens(StandardTokens());
  core::MemoryIncludeFiles files;
  files.Add("main.bos", text);
  preprocessor.SetIncludeFiles(&files);
  if (!core::PreprocessTwice(preprocessor, text, "main.bos", {})) return state.SkipWithError("preprocessing failed");
  std::vector<core::SourcePlace> places;
  core::CompileOptions options;
  options.onWarning = [&places](const core::CompileWarning& warning) {
    places.push_back({warning.row, warning.col, {}});
  };
  if (!core::CompileText(preprocessor.Source(), options).ok) return state.SkipWithError("compile failed");
  for (auto _ : state) benchmark::DoNotOptimize(core::FindSourcePositions(preprocessor, places, 0, files).size());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * places.size()));
}

// 10k and 100k lines: a large unit and a generated one.
BENCHMARK(BM_Scan)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreprocessOnce)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PreprocessTwice)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompileText)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeRoad)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateWarnings)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace marlo::bench

BENCHMARK_MAIN();
