// The encoders beside memcpy of the same bytes, the limit they cannot beat,
// on the texts they meet: armored payloads and HTML (mostly ASCII), and a
// mix with many multi-byte letters.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "base/text.h"
#include "base/url_encode_paths.h"

namespace {

enum class Sample { kMixed, kArmored, kHtml };

std::string SampleText(Sample kind, std::size_t size) {
  std::mt19937 random(7);
  std::string text;
  if (kind == Sample::kMixed) {
    // Form values with punctuation and a multi-byte letter every few words.
    static const std::string pieces[] = {"Hello ", "world", ", ",  "Grüße",
                                         "\n",     "Иван",  "=+/", "42"};
    while (text.size() < size) text += pieces[random() % 8];
  } else if (kind == Sample::kArmored) {
    static const char kBase64[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    text = "-----BEGIN PGP MESSAGE-----\n\n";
    while (text.size() < size) {
      for (int i = 0; i < 64; ++i) text += kBase64[random() % 64];
      text += '\n';
    }
  } else {
    const std::string block =
        "<p style=\"font-family:Arial;color:#333\">Dear <b>reader</b>, this week's "
        "<a href=\"https://news.example/item?id=1&amp;ref=mail\">news</a> &amp; notes "
        "&ndash; café.</p>\n<table border=\"0\"><tr><td>Price</td><td>12.00</td></tr></table>\n";
    while (text.size() < size) text += block;
  }
  text.resize(size);
  return text;
}

Sample KindOf(const benchmark::State& state) {
  return static_cast<Sample>(state.range(1));
}

void BM_Memcpy(benchmark::State& state) {
  const std::string input = SampleText(KindOf(state), static_cast<std::size_t>(state.range(0)));
  std::string output(input.size(), '\0');
  for (auto _ : state) {
    std::memcpy(output.data(), input.data(), input.size());
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_UrlEncode(benchmark::State& state) {
  const std::string input = SampleText(KindOf(state), static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(veilmark::UrlEncode(input));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The encoder as on a processor without byte shuffles (SSE2 alone).
void BM_UrlEncodeWithoutShuffles(benchmark::State& state) {
  const std::string input = SampleText(KindOf(state), static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::string out;
    veilmark::AppendUrlEncodedWithoutShuffles(out, input);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Utf8ToWide(benchmark::State& state) {
  const std::string input = SampleText(KindOf(state), static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(veilmark::Utf8ToWide(input));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Bytes processed counts the UTF-8 size, so the figures compare.
void BM_WideToUtf8(benchmark::State& state) {
  const std::u16string input =
      veilmark::Utf8ToWide(SampleText(KindOf(state), static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(veilmark::WideToUtf8(input));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

constexpr int kOneMegabyte = 1 << 20;

void Samples(benchmark::internal::Benchmark* bench) {
  bench->ArgNames({"bytes", "sample"});
  for (Sample kind : {Sample::kArmored, Sample::kHtml, Sample::kMixed}) {
    bench->Args({kOneMegabyte, static_cast<int>(kind)});
  }
}

}  // namespace

BENCHMARK(BM_Memcpy)->Apply(Samples);
BENCHMARK(BM_UrlEncode)->Apply(Samples);
BENCHMARK(BM_UrlEncodeWithoutShuffles)->Apply(Samples);
BENCHMARK(BM_Utf8ToWide)->Apply(Samples);
BENCHMARK(BM_WideToUtf8)->Apply(Samples);
