#include "host/host_session.h"

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <utility>

#include "addin/connect_core.h"
#include "base/protocol_exception.h"
#include "base/text.h"
#include "host/eml_message.h"
#include "host/mail_content.h"

namespace veilmark::hostapp {
namespace {

// The add-in's entry points say how they ended, for the trace only: the
// host goes on whatever they return, as the mail client does.
void Entered(Trace& trace, const char* entryPoint, HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  trace.Add(std::string("add-in ") + entryPoint + " returned " + code);
}

std::vector<MailItemContent> LoadContents(const CommandLine& line) {
  std::vector<MailItemContent> contents;
  if (line.command == Command::kSend) {
    contents.push_back(ComposeContent(line));
    return contents;
  }
  for (const std::string& file : line.files) {
    contents.push_back(ReceivedContent(LoadEmlMessage(file), line.account));
  }
  return contents;
}

void RunAddIn(const CommandLine& line, std::vector<MailItemContent> contents, Platform platform,
              HostSession& host) {
  Trace& trace = *host.trace();
  ConnectCore core(std::move(platform));
  Entered(trace, "OnConnection", core.OnConnection(host.application()));
  Entered(trace, "CTPFactoryAvailable", core.CTPFactoryAvailable(host.paneFactory()));
  Entered(trace, "OnStartupComplete", core.OnStartupComplete());

  switch (line.command) {
    case Command::kRead:
      host.Open(host.NewItem(std::move(contents.front())));
      break;
    case Command::kSelect: {
      std::vector<std::shared_ptr<outlook::Object>> selected;
      for (MailItemContent& content : contents)
        selected.push_back(host.NewItem(std::move(content)));
      host.application()->explorer()->Select(std::move(selected));
      break;
    }
    case Command::kSend: {
      const std::shared_ptr<StoreInspector> compose =
          host.Open(host.NewItem(std::move(contents.front())));
      auto button = std::make_shared<StoreRibbonControl>(host.trace(), compose);
      Entered(trace, "OnSecureSendClick", core.OnSecureSendClick(button));
      host.CloseRequestedWindows();
      break;
    }
    case Command::kHelp:
      break;
  }

  Entered(trace, "OnBeginShutdown", core.OnBeginShutdown());
  Entered(trace, "OnDisconnection", core.OnDisconnection());
}

}  // namespace

HostSession::HostSession(std::shared_ptr<Trace> trace, std::shared_ptr<PaneOutput> panes,
                         const std::string& userAddress)
    : trace_(std::move(trace)),
      application_(std::make_shared<StoreApplication>(trace_)),
      session_(std::make_shared<StoreNameSpace>(trace_, Utf8ToWide(userAddress))),
      paneFactory_(std::make_shared<StorePaneFactory>(trace_, std::move(panes))) {}

std::shared_ptr<StoreMailItem> HostSession::NewItem(MailItemContent content) {
  return std::make_shared<StoreMailItem>(trace_, std::move(content), session_);
}

std::shared_ptr<StoreInspector> HostSession::Open(const std::shared_ptr<StoreMailItem>& item) {
  auto inspector = std::make_shared<StoreInspector>(trace_, item);
  // Weak: the window holds the item, not the other way round.
  item->SetCloseHandler([window = std::weak_ptr<StoreInspector>(inspector)] {
    if (auto open = window.lock()) open->RequestClose();
  });
  inspectors_.push_back(inspector);
  application_->inspectors()->FireNewInspector(inspector);
  return inspector;
}

void HostSession::CloseRequestedWindows() {
  for (const auto& inspector : inspectors_) {
    if (inspector->closeRequested()) inspector->FireClose();
  }
}

std::string PaneOutPath(const std::string& requested) {
  const std::filesystem::path path = requested.empty()
                                         ? std::filesystem::current_path() / kDefaultPaneFile
                                         : std::filesystem::absolute(requested);
  return path.lexically_normal().string();
}

int RunCommand(const CommandLine& line, Platform platform, std::ostream& out, std::ostream& err) {
  if (line.command == Command::kHelp) {
    out << kUsage;
    return kExitOk;
  }
  // Every input is read before the add-in starts, so a bad file changes nothing.
  std::vector<MailItemContent> contents;
  try {
    contents = LoadContents(line);
  } catch (const InputFileError& error) {
    err << "veilmark-host: " << error.what() << std::endl;
    return kExitFailure;
  }

  auto trace = std::make_shared<Trace>(line.trace ? &out : nullptr);
  auto panes = std::make_shared<PaneOutput>(PaneOutPath(line.paneOut), &out);
  HostSession host(trace, panes, line.account);
  try {
    RunAddIn(line, std::move(contents), std::move(platform), host);
  } catch (const ProtocolException& error) {
    // Only the core's construction throws: there is no data folder.
    err << "veilmark-host: " << WideToUtf8(error.message()) << std::endl;
    return kExitFailure;
  }
  if (!panes->error().empty()) {
    err << "veilmark-host: " << panes->error() << std::endl;
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace veilmark::hostapp
