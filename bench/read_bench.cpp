// The view with 50 attachments, sanitizing a 10 MB message, and a cache
// lookup in a full cache.
#include <benchmark/benchmark.h>
#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "read/cache_manager.h"
#include "read/decrypted_view.h"
#include "read/html_sanitizer.h"

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
    benchmark::DoNotOptimize(veilmark::ComposeDecryptedView(clear, attachments, u"vault.example"));
  }
}

// A long newsletter: styled paragraphs, links, tables, lists, an inline and a
// remote image, a script and comments, repeated to 10 MB.
std::u16string TenMegabyteMessage() {
  const std::u16string block =
      u"<p style=\"font-family:Arial;color:#333;margin:0 0 8px\">Dear <b>reader</b>, this "
      u"week's <a href=\"https://news.example/item?id=1&amp;ref=mail\">news</a> &amp; notes "
      u"&ndash; caf&eacute;.</p><table border=\"0\" cellpadding=\"4\" width=\"100%\"><tr>"
      u"<td bgcolor=\"#eeeeee\" onclick=\"track()\">Price</td><td align=\"right\">12.00</td>"
      u"</tr></table><ul><li>one</li><li>two<!-- note --></li></ul><img src=\"data:image/png;"
      u"base64,iVBORw0KGgoAAAANSUhEUgAAAAE=\" alt=\"dot\"><img src=\"http://t.example/o.gif\" "
      u"width=\"1\" height=\"1\"><script>var x = 1;</script>\n";
  std::u16string html = u"<html><head><title>News</title></head><body>";
  while (html.size() < 10 * 1024 * 1024) html += block;
  return html + u"</body></html>";
}

void BM_SanitizeTenMegabytes(benchmark::State& state) {
  const std::u16string html = TenMegabyteMessage();
  for (auto _ : state) {
    benchmark::DoNotOptimize(veilmark::SanitizeHtml(html, u"https://vault.example"));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
}

// The floor under the sanitizer: the HTML parser alone reading the same
// bytes with the same options, every event ignored.
void Ignore(void*, const xmlChar*, const xmlChar**) {}
void Ignore(void*, const xmlChar*) {}
void Ignore(void*, const xmlChar*, int) {}

void BM_HtmlParserAloneTenMegabytes(benchmark::State& state) {
  const std::string html = veilmark::WideToUtf8(TenMegabyteMessage());
  xmlInitParser();
  for (auto _ : state) {
    htmlParserCtxtPtr context =
        htmlCreateMemoryParserCtxt(html.data(), static_cast<int>(html.size()));
    if (!context) {
      state.SkipWithError("no parser");
      break;
    }
    htmlSAXHandler handlers{};
    handlers.startElement = Ignore;
    handlers.endElement = Ignore;
    handlers.characters = Ignore;
    handlers.ignorableWhitespace = Ignore;
    handlers.cdataBlock = Ignore;
    *context->sax = handlers;
    htmlCtxtUseOptions(context, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                    HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC);
    xmlSwitchEncoding(context, XML_CHAR_ENCODING_UTF8);
    htmlParseDocument(context);
    htmlFreeParserCtxt(context);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
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
BENCHMARK(BM_SanitizeTenMegabytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtmlParserAloneTenMegabytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheLookupAtHundredEntries);
