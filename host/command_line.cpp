#include "host/command_line.h"

#include <map>

#include "outlook/object_model.h"

namespace veilmark::hostapp {

const char kUsage[] =
    "usage:\n"
    "  veilmark-host read FILE.eml [--account ADDR] [--pane-out FILE] [--trace] [--events FILE]\n"
    "  veilmark-host select FILE.eml [FILE.eml ...] [--account ADDR] [--pane-out FILE] [--trace]\n"
    "                     [--events FILE]\n"
    "  veilmark-host send --account ADDR [--to ADDR ...] [--cc ADDR ...] [--bcc ADDR ...]\n"
    "                     [--list NAME ...] [--subject TEXT] [--html FILE | --html-text TEXT]\n"
    "                     [--attach FILE ...] [--trace] [--events FILE]\n"
    "  veilmark-host --help\n"
    "\n"
    "--events FILE (a file or a FIFO) delivers the user's actions, one a line, while the\n"
    "add-in waits on the service and after the command, until the file ends:\n"
    "  select FILE.eml [FILE.eml ...]   select these messages in the main window\n"
    "  close                            close the command's window (select: the main window)\n"
    "  cancel                           press Cancel in the wait window\n"
    "  shutdown                         Outlook closes: no event is read after it\n"
    "The wait window's texts go to stderr as \"wait: TEXT [Cancel]\" and \"wait: closed\".\n";

namespace {

enum class Option {
  kAccount,
  kPaneOut,
  kTrace,
  kTo,
  kCc,
  kBcc,
  kList,
  kSubject,
  kHtml,
  kHtmlText,
  kAttach,
  kEvents,
};

struct OptionInfo {
  Option option;
  bool takesValue;
  bool forRead;  // read and select
  bool forSend;
};

const std::map<std::string, OptionInfo>& Options() {
  static const std::map<std::string, OptionInfo> options = {
      {"--account", {Option::kAccount, true, true, true}},
      {"--pane-out", {Option::kPaneOut, true, true, false}},
      {"--trace", {Option::kTrace, false, true, true}},
      {"--to", {Option::kTo, true, false, true}},
      {"--cc", {Option::kCc, true, false, true}},
      {"--bcc", {Option::kBcc, true, false, true}},
      {"--list", {Option::kList, true, false, true}},
      {"--subject", {Option::kSubject, true, false, true}},
      {"--html", {Option::kHtml, true, false, true}},
      {"--html-text", {Option::kHtmlText, true, false, true}},
      {"--attach", {Option::kAttach, true, false, true}},
      {"--events", {Option::kEvents, true, true, true}},
  };
  return options;
}

const char* CommandName(Command command) {
  switch (command) {
    case Command::kRead:
      return "read";
    case Command::kSelect:
      return "select";
    case Command::kSend:
      return "send";
    case Command::kHelp:
      break;
  }
  return "help";
}

bool IsHelp(const std::string& arg) {
  return arg == "--help" || arg == "-h" || arg == "help";
}

class Parser {
 public:
  explicit Parser(Command command) { line_.command = command; }

  void Apply(const std::string& name, const OptionInfo& info, const std::string& value) {
    const bool allowed = line_.command == Command::kSend ? info.forSend : info.forRead;
    if (!allowed) {
      throw UsageError(name + " is not an option of " + CommandName(line_.command));
    }
    // Only the subject and the body text may be empty: the add-in judges those.
    if (info.takesValue && value.empty() && info.option != Option::kSubject &&
        info.option != Option::kHtmlText) {
      throw UsageError(name + " needs a non-empty value");
    }
    switch (info.option) {
      case Option::kAccount:
        Once(name, line_.account.empty());
        line_.account = value;
        break;
      case Option::kPaneOut:
        Once(name, line_.paneOut.empty());
        line_.paneOut = value;
        break;
      case Option::kTrace:
        line_.trace = true;
        break;
      case Option::kTo:
        line_.recipients.push_back({outlook::kRecipientTo, value, false});
        break;
      case Option::kCc:
        line_.recipients.push_back({outlook::kRecipientCc, value, false});
        break;
      case Option::kBcc:
        line_.recipients.push_back({outlook::kRecipientBcc, value, false});
        break;
      case Option::kList:
        line_.recipients.push_back({outlook::kRecipientTo, value, true});
        break;
      case Option::kSubject:
        Once(name, !subjectGiven_);
        subjectGiven_ = true;
        line_.subject = value;
        break;
      case Option::kHtml:
        Once(name, !line_.htmlFile);
        line_.htmlFile = value;
        break;
      case Option::kHtmlText:
        Once(name, !line_.htmlText);
        line_.htmlText = value;
        break;
      case Option::kAttach:
        line_.attachments.push_back(value);
        break;
      case Option::kEvents:
        Once(name, line_.events.empty());
        line_.events = value;
        break;
    }
  }

  void Positional(const std::string& arg) {
    if (line_.command == Command::kSend) {
      throw UsageError("send takes no file arguments (unexpected \"" + arg + "\")");
    }
    line_.files.push_back(arg);
  }

  CommandLine Finish() {
    switch (line_.command) {
      case Command::kRead:
        if (line_.files.size() != 1) throw UsageError("read needs exactly one .eml file");
        break;
      case Command::kSelect:
        if (line_.files.empty()) throw UsageError("select needs at least one .eml file");
        break;
      case Command::kSend:
        if (line_.account.empty()) throw UsageError("send needs --account ADDR");
        if (line_.htmlFile && line_.htmlText) {
          throw UsageError("give the body with --html or --html-text, not both");
        }
        break;
      case Command::kHelp:
        break;
    }
    return std::move(line_);
  }

 private:
  static void Once(const std::string& name, bool first) {
    if (!first) throw UsageError(name + " given more than once");
  }

  CommandLine line_;
  bool subjectGiven_ = false;
};

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("no command given");
  const std::string& name = args.front();
  Command command;
  if (IsHelp(name)) {
    return CommandLine{};
  } else if (name == "read") {
    command = Command::kRead;
  } else if (name == "select") {
    command = Command::kSelect;
  } else if (name == "send") {
    command = Command::kSend;
  } else {
    throw UsageError("unknown command \"" + name + "\"");
  }

  Parser parser(command);
  bool optionsEnded = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parser.Positional(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") return CommandLine{};

    const std::size_t equals = arg.find('=');
    const std::string optionName = arg.substr(0, equals);
    const auto found = Options().find(optionName);
    if (found == Options().end()) throw UsageError("unknown option " + optionName);
    const OptionInfo& info = found->second;
    std::string value;
    if (!info.takesValue) {
      if (equals != std::string::npos) throw UsageError(optionName + " takes no value");
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      throw UsageError(optionName + " needs a value");
    }
    parser.Apply(optionName, info, value);
  }
  return parser.Finish();
}

}  // namespace veilmark::hostapp
