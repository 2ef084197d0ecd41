// The view with 50 attachments, and a cache lookup in a full cache.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "read/cache_manager.h"
#include "read/decrypted_view.h"

namespace {

void BM_ComposeViewFiftyAttachments(benchmark::State& state) {
  std::vector<veilmark::VeilmarkDecryptedAtt> attachments;
  for (int i = 0; i < 50; ++i) {
    const std::u16string n = std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
    attachments.push_back({u"Report \"Q" + n + u"\" & notes.pdf", u"/att/" + n, u"/prev/" + n,
                           1536 * (i + 1), i % 2 ? "image/png" : "application/pdf"});
  }
  const std::u16string clear = u"<html><body><p>See the files.</p></body></html>";
  for (auto _ : state) {
    benchmark::DoNotOptimize(veilmark::ComposeDecryptedView(clear, attachments));
  }
}

void BM_CacheLookupAtHundredEntries(benchmark::State& state) {
  veilmark::CacheManager cache(100, 3600000);
  for (int i = 0; i < 100; ++i) {
    cache.Store(u"00000000A1B2C3D4E5F6" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) +
                    std::u16string(1, static_cast<char16_t>(u'0' + i / 10)),
                u"<p>view</p>");
  }
  // The oldest entry: the whole list is walked, then the hit moves to the front.
  bool back = true;
  for (auto _ : state) {
    const std::u16string id = back ? u"00000000A1B2C3D4E5F600" : u"00000000A1B2C3D4E5F699";
    benchmark::DoNotOptimize(cache.Lookup(id));
    back = !back;
  }
}

}  // namespace

BENCHMARK(BM_ComposeViewFiftyAttachments);
BENCHMARK(BM_CacheLookupAtHundredEntries);
