// The longest time the UI thread goes without handling an event while a
// service call waits: a 5 s stalled exchange, and a 25 MB decryption (form
// body, reply parsing and the view's sanitizing, all on the worker). Then the
// whole 25 MB read road through the in-memory Outlook, before, during and
// after its waits, and each of its steps on 25 MB on its own. Prints the best
// and worst of several runs.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "api/api_client.h"
#include "base/local_files.h"
#include "base/scratch_file.h"
#include "base/text.h"
#include "login/services.h"
#include "login/session_store.h"
#include "outlook/memory/memory_outlook.h"
#include "read/cache_manager.h"
#include "read/decrypted_view.h"
#include "read/secure_read.h"
#include "ui/ui.h"
#include "ui/wait.h"

namespace {

using Clock = std::chrono::steady_clock;
using veilmark::ApiClient;
using veilmark::ExchangeOutcome;
using veilmark::HttpPost;

// The service as a function of the request: a stall, or a 25 MB reply.
class BenchExchange final : public veilmark::HttpExchange {
 public:
  BenchExchange(std::chrono::milliseconds stall, std::string reply)
      : stall_(stall), reply_(std::move(reply)) {}
  ExchangeOutcome Post(const veilmark::ApiEndpoint&, const HttpPost& post) override {
    const auto until = Clock::now() + stall_;
    while (Clock::now() < until && !(post.cancel && post.cancel->requested())) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return {true, reply_, {}};
  }

 private:
  std::chrono::milliseconds stall_;
  std::string reply_;
};

std::string LargeClearText(std::size_t bytes) {
  std::string clear;
  while (clear.size() < bytes) clear += "<p>Quarterly figures, <b>row</b> and <i>notes</i>.</p>";
  return clear;
}

std::string LargeReply(std::size_t bytes) {
  return R"({"status":{"statusCode":"OK"},"clearText":")" + LargeClearText(bytes) +
         R"(","decryptedAttachments":[]})";
}

// The longest gap between the UI thread's event handling during one call.
double LongestGapMs(veilmark::HttpExchange& exchange, const std::string& cipherText) {
  Clock::time_point last = Clock::now();
  Clock::duration longest{0};
  veilmark::TerminalWaiter waiter(
      [&] {
        const auto now = Clock::now();
        longest = std::max(longest, now - last);
        last = now;
      },
      std::cerr);
  ApiClient client(exchange, veilmark::ApiEndpoint{});
  std::u16string view;
  last = Clock::now();
  waiter.Run(
      {u"Decrypting the message\u2026", cipherText.size()}, [&](veilmark::Cancellation& cancel) {
        ApiClient api = client.Cancellable(cancel);
        auto reply = api.DecryptMime("s-1", cipherText);
        view =
            veilmark::ComposeDecryptedView(reply->clearText(), reply->decryptedAttachments(), u"x");
      });
  longest = std::max(longest, Clock::now() - last);
  return std::chrono::duration<double, std::milli>(longest).count();
}

void Report(const char* name, std::vector<double> gaps) {
  std::sort(gaps.begin(), gaps.end());
  std::printf("%-36s best %6.1f ms  worst %6.1f ms  (%zu runs)\n", name, gaps.front(), gaps.back(),
              gaps.size());
}

double Ms(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

std::string ArmoredPayload(std::size_t bytes) {
  std::string payload = "-----BEGIN PGP MESSAGE-----\n\n";
  const std::string line(64, 'Q');
  while (payload.size() < bytes) payload += line + "\n";
  return payload + "-----END PGP MESSAGE-----\n";
}

// The pane's document, timing its writes: Outlook's share of the stall.
class TimedDocument final : public veilmark::outlook::MemoryHtmlDocument {
 public:
  HRESULT Write(const std::u16string& html) override {
    const auto start = Clock::now();
    const HRESULT hr = MemoryHtmlDocument::Write(html);
    spent += Clock::now() - start;
    return hr;
  }
  Clock::duration spent{0};
};

// The payload, timing its SaveAsFile: Outlook's share before the wait.
class TimedAttachment final : public veilmark::outlook::MemoryAttachment {
 public:
  HRESULT SaveAsFile(const std::u16string& path) override {
    const auto start = Clock::now();
    const HRESULT hr = MemoryAttachment::SaveAsFile(path);
    spent += Clock::now() - start;
    return hr;
  }
  Clock::duration spent{0};
};

// The UI thread through one selection's read road: the longest stretch
// without an event turn before the first wait pumps, between turns, and
// after the last.
struct RoadStalls {
  double before = 0;
  double during = 0;
  double after = 0;
  double save = 0;   // the payload's SaveAsFile, within `before`
  double write = 0;  // the pane's document write, within `after`
};

RoadStalls ReadRoadStalls(veilmark::HttpExchange& exchange, const std::string& payload) {
  const char16_t kAccount[] = u"bob@example.org";
  veilmark::SessionStore sessions;
  sessions.SetSession(kAccount, "s-1");
  Clock::time_point start;
  Clock::time_point first;
  Clock::time_point last;
  Clock::duration longest{0};
  bool pumped = false;
  veilmark::TerminalWaiter waiter(
      [&] {
        const auto now = Clock::now();
        if (!pumped) first = now;
        if (pumped) longest = std::max(longest, now - last);
        pumped = true;
        last = now;
      },
      std::cerr);
  const auto ui = veilmark::MakePlatformUi("");
  veilmark::ApiClient api(exchange, veilmark::ApiEndpoint{});
  veilmark::Services services{*ui, api, sessions, waiter};
  veilmark::CacheManager cache(10, 3600);
  veilmark::outlook::MemoryOutlook host;
  auto item = host.NewMailItem("protected");
  item->typeId = veilmark::outlook::kMailItemIid;
  item->sent = true;
  item->entryId = u"E-large";
  item->propertyAccessor->properties[veilmark::outlook::kTransportHeadersProperty] =
      u"Content-Type: multipart/encrypted; protocol=\"application/pgp-encrypted\"\r\n";
  item->propertyAccessor->properties[veilmark::outlook::kReceivedByAddressProperty] = kAccount;
  item->attachments->Add(u"version.dat", "Version: 1\r\n");
  const auto attachment = std::make_shared<TimedAttachment>();
  attachment->bytes = payload;
  item->attachments->items.push_back(attachment);
  auto explorer = host.NewExplorer();
  const auto document = std::make_shared<TimedDocument>();
  const auto browser = std::make_shared<veilmark::outlook::MemoryWebBrowser>();
  browser->document = document;
  const auto upcoming = std::make_shared<veilmark::outlook::MemoryTaskPane>();
  upcoming->contentControl = browser;
  host.paneFactory->upcoming.push_back(upcoming);
  std::shared_ptr<veilmark::outlook::TaskPane> pane;
  start = Clock::now();
  veilmark::DecryptAndShow(*item, explorer, services, cache, host.paneFactory.get(), pane);
  const auto end = Clock::now();
  if (!pumped || cache.size() != 1 || document->writes.size() != 1) {
    std::fprintf(stderr, "the road did not wait or did not decrypt\n");
    std::exit(1);
  }
  return {Ms(first - start), Ms(longest), Ms(end - last), Ms(attachment->spent),
          Ms(document->spent)};
}

// How long `step` takes, best and worst of `runs`.
void ReportStep(const char* name, const char* where, int runs, const std::function<void()>& step) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    step();
    times.push_back(Ms(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  std::printf("  %-44s %-22s best %6.1f ms  worst %6.1f ms\n", name, where, times.front(),
              times.back());
}

// Each of the read road's steps on 25 MB on its own, and where it runs.
void ReportSteps(const std::string& payload) {
  veilmark::outlook::MemoryOutlook host;
  auto item = host.NewMailItem("protected");
  auto attachment = item->attachments->Add(u"encrypted.asc", payload);
  const std::u16string clear = veilmark::Utf8ToWide(LargeClearText(25u * 1024 * 1024));
  const std::u16string view = veilmark::ComposeDecryptedView(clear, {}, u"x");
  std::printf("each step on 25 MB:\n");
  veilmark::ScratchFile scratch(veilmark::MakeScratchFile());
  ReportStep("SaveAsFile of the payload (in-memory Outlook)", "UI thread (Outlook)", 3,
             [&] { attachment->SaveAsFile(scratch.path()); });
  ReportStep("reading the scratch file back", "worker", 3,
             [&] { veilmark::LoadFile(scratch.path()); });
  scratch.Remove();
  ReportStep("composing the view (sanitizing)", "worker", 3,
             [&] { veilmark::ComposeDecryptedView(clear, {}, u"x"); });
  veilmark::CacheManager cached(10, 3600);
  cached.Store(u"E", view);
  ReportStep("a cache hit: the view handed out", "UI thread", 3, [&] { cached.Find(u"E"); });
  ReportStep("the pane's document write (in-memory Outlook)", "UI thread (Outlook)", 3, [&] {
    auto document = std::make_shared<veilmark::outlook::MemoryHtmlDocument>();
    document->Write(view);
  });
}

// The data folder of these runs, removed at the end.
class ScratchDataHome {
 public:
  ScratchDataHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vm-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    root_ = pattern;
    setenv("XDG_DATA_HOME", root_.c_str(), 1);
  }
  ~ScratchDataHome() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ScratchDataHome(const ScratchDataHome&) = delete;
  ScratchDataHome& operator=(const ScratchDataHome&) = delete;

 private:
  std::filesystem::path root_;
};

}  // namespace

int main() {
  ScratchDataHome home;
  const std::string small = "-----BEGIN PGP MESSAGE-----";
  const std::string large(25u * 1024 * 1024, 'A');
  BenchExchange stalled(std::chrono::milliseconds(5000), LargeReply(100));
  BenchExchange decrypting(std::chrono::milliseconds(0), LargeReply(25u * 1024 * 1024));
  std::vector<double> stall, decrypt;
  for (int i = 0; i < 3; ++i) stall.push_back(LongestGapMs(stalled, small));
  for (int i = 0; i < 3; ++i) decrypt.push_back(LongestGapMs(decrypting, large));
  Report("5 s stalled exchange", stall);
  Report("25 MB decryption (body, reply, view)", decrypt);

  const std::string payload = ArmoredPayload(25u * 1024 * 1024);
  std::vector<double> before, save, ownBefore, during, after, write, ownAfter;
  for (int i = 0; i < 3; ++i) {
    const RoadStalls stalls = ReadRoadStalls(decrypting, payload);
    before.push_back(stalls.before);
    save.push_back(stalls.save);
    ownBefore.push_back(stalls.before - stalls.save);
    during.push_back(stalls.during);
    after.push_back(stalls.after);
    write.push_back(stalls.write);
    ownAfter.push_back(stalls.after - stalls.write);
  }
  std::printf("25 MB read road through the in-memory Outlook:\n");
  Report("  before the first wait pumps", before);
  Report("    of which the payload's SaveAsFile", save);
  Report("    of which the add-in's own", ownBefore);
  Report("  between event turns", during);
  Report("  after the last wait", after);
  Report("    of which the document write", write);
  Report("    of which the add-in's own", ownAfter);
  ReportSteps(payload);
  return 0;
}
