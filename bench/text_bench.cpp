// The encoders beside memcpy of the same bytes, the limit they cannot beat.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "base/text.h"

namespace {

// A message-like mix: mostly ASCII text with some punctuation and
// multi-byte letters, as form values and armored payloads are.
std::string SampleText(std::size_t size) {
  static const std::string pieces[] = {"Hello ", "world", ", ", "Grüße", "\n", "Иван", "=+/", "42"};
  std::mt19937 random(7);
  std::string text;
  while (text.size() < size) text += pieces[random() % 8];
  text.resize(size);
  return text;
}

void BM_Memcpy(benchmark::State& state) {
  const std::string input = SampleText(static_cast<std::size_t>(state.range(0)));
  std::string output(input.size(), '\0');
  for (auto _ : state) {
    std::memcpy(output.data(), input.data(), input.size());
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_UrlEncode(benchmark::State& state) {
  const std::string input = SampleText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(veilmark::UrlEncode(input));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Utf8ToWide(benchmark::State& state) {
  const std::string input = SampleText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(veilmark::Utf8ToWide(input));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_WideToUtf8(benchmark::State& state) {
  const std::u16string input =
      veilmark::Utf8ToWide(SampleText(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(veilmark::WideToUtf8(input));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

constexpr int kOneMegabyte = 1 << 20;

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(kOneMegabyte);
BENCHMARK(BM_UrlEncode)->Arg(kOneMegabyte);
BENCHMARK(BM_Utf8ToWide)->Arg(kOneMegabyte);
BENCHMARK(BM_WideToUtf8)->Arg(kOneMegabyte);
