#include "host/host_session.h"

#include <filesystem>
#include <ostream>
#include <utility>

#include "addin/connect_core.h"
#include "base/local_files.h"
#include "base/protocol_exception.h"
#include "base/text.h"
#include "host/eml_message.h"
#include "host/host_events.h"
#include "host/mail_content.h"
#include "ui/wait.h"

namespace veilmark::hostapp {
namespace {

using outlook::MemoryMailItem;
using outlook::MemoryOutlook;

// The add-in's entry points say how they ended, for the trace only: the
// host goes on whatever they return, as the mail client does.
void Entered(outlook::Trace& trace, const char* entryPoint, HRESULT hr) {
  trace.Add(std::string("add-in ") + entryPoint + " returned " + outlook::HrText(hr));
}

// Every input is read before the add-in starts, so a bad file changes
// nothing. Throws InputFileError.
std::vector<std::shared_ptr<MemoryMailItem>> LoadItems(const CommandLine& line,
                                                       MemoryOutlook& model) {
  std::vector<std::shared_ptr<MemoryMailItem>> items;
  if (line.command == Command::kSend) {
    items.push_back(model.NewMailItem());
    FillCompose(*items.back(), line);
    return items;
  }
  for (const std::string& file : line.files) {
    items.push_back(model.NewMailItem());
    FillReceived(*items.back(), LoadEmlMessage(file), line.account);
  }
  return items;
}

// The user's actions from the events file, delivered as Outlook delivers
// them: between the add-in's calls and while one waits on the service.
void HookEvents(HostEvents& events, const CommandLine& line,
                const std::vector<std::shared_ptr<MemoryMailItem>>& items, MemoryOutlook& model,
                ConnectCore& core, Waiter& waiter, std::ostream& err) {
  EventHandlers handlers;
  handlers.select = [&line, &model, &err](const std::vector<std::string>& files) {
    std::vector<std::shared_ptr<outlook::Object>> selected;
    try {
      for (const std::string& file : files) {
        auto item = model.NewMailItem();
        FillReceived(*item, LoadEmlMessage(file), line.account);
        selected.push_back(std::move(item));
      }
    } catch (const InputFileError& error) {
      err << "veilmark-host: event select: " << error.what() << std::endl;
      return;
    }
    model.application->activeExplorer->Select(std::move(selected));
  };
  // read and send: the command's window, once it is open; select: the main
  // window.
  handlers.close = [&line, &items, &model] {
    if (line.command == Command::kSelect) {
      model.application->activeExplorer->FireClose();
    } else if (const auto window = items.front()->window.lock(); window && !window->closed) {
      window->FireClose();
    }
  };
  handlers.cancel = [&waiter] { waiter.CancelInnermost(); };
  handlers.shutdown = [&model, &core] {
    Entered(*model.trace, "OnBeginShutdown", core.OnBeginShutdown());
  };
  events.SetHandlers(std::move(handlers));
}

void RunAddIn(const CommandLine& line, const std::vector<std::shared_ptr<MemoryMailItem>>& items,
              Platform platform, MemoryOutlook& model, HostEvents* events, std::ostream& err) {
  outlook::Trace& trace = *model.trace;
  const std::shared_ptr<Waiter> waiter = platform.waiter;
  ConnectCore core(std::move(platform));
  if (events) HookEvents(*events, line, items, model, core, *waiter, err);
  Entered(trace, "OnConnection", core.OnConnection(model.application));
  Entered(trace, "CTPFactoryAvailable", core.CTPFactoryAvailable(model.paneFactory));
  Entered(trace, "OnStartupComplete", core.OnStartupComplete());

  switch (line.command) {
    case Command::kRead:
      model.Open(items.front());
      break;
    case Command::kSelect:
      model.application->activeExplorer->Select({items.begin(), items.end()});
      break;
    case Command::kSend: {
      auto button = std::make_shared<outlook::MemoryRibbonControl>();
      model.Watch(*button, "button");
      button->context = model.Open(items.front());
      Entered(trace, "OnSecureSendClick", core.OnSecureSendClick(button));
      model.CloseRequestedWindows();
      break;
    }
    case Command::kHelp:
      break;
  }

  if (events) events->RunUntilEnd();
  // Outlook shuts down once; an event may have begun it already.
  if (!events || !events->shutDown()) {
    Entered(trace, "OnBeginShutdown", core.OnBeginShutdown());
  }
  Entered(trace, "OnDisconnection", core.OnDisconnection());
}

}  // namespace

bool PaneOutput::Show(const std::u16string& html) {
  shown_.push_back(html);
  // The clear text of a protected message: private to the user (0600, even
  // over an older file of another mode), written whole or not at all.
  if (!SaveFile(Utf8ToWide(path_), WideToUtf8(html))) {
    error_ = "cannot write the pane's HTML to " + path_;
    return false;
  }
  if (announce_) *announce_ << "pane: " << path_ << std::endl;
  return true;
}

MemoryOutlook HostOutlook(std::shared_ptr<outlook::Trace> trace, std::shared_ptr<PaneOutput> panes,
                          const std::string& userAddress) {
  MemoryOutlook model(std::move(trace));
  model.application->activeExplorer = model.NewExplorer();
  SetAddress(*model.session->currentUser, userAddress, outlook::kDisplayTypeUser);
  model.paneFactory->show = [panes = std::move(panes)](const std::u16string& html) {
    return panes->Show(html);
  };
  return model;
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
  auto panes = std::make_shared<PaneOutput>(PaneOutPath(line.paneOut), &out);
  MemoryOutlook model = HostOutlook(std::make_shared<outlook::Trace>(line.trace ? &out : nullptr),
                                    panes, line.account);
  std::vector<std::shared_ptr<MemoryMailItem>> items;
  try {
    items = LoadItems(line, model);
  } catch (const InputFileError& error) {
    err << "veilmark-host: " << error.what() << std::endl;
    return kExitFailure;
  }
  std::unique_ptr<HostEvents> events;
  if (!line.events.empty()) {
    events = std::make_unique<HostEvents>();
    if (!events->Open(line.events, err)) return kExitFailure;
    // The wait pumps the events; its window's texts go to the terminal. The
    // dialogs' browser waits on it too.
    platform.waiter = std::make_shared<TerminalWaiter>([&events] { events->Pump(); }, err);
    platform.ui = MakePlatformUi(platform.endpoint.caBundle, platform.waiter);
  }
  try {
    RunAddIn(line, items, std::move(platform), model, events.get(), err);
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
