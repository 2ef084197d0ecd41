// veilmark-host's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veilmark::hostapp {

extern const char kUsage[];

// Bad arguments; what() says what is wrong, without the usage text.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Command { kHelp, kRead, kSelect, kSend };

struct RecipientArg {
  std::int32_t type;  // outlook::kRecipientTo, kRecipientCc or kRecipientBcc
  std::string address;
  bool list = false;  // a distribution list, named by `address`
};

struct CommandLine {
  Command command = Command::kHelp;
  std::vector<std::string> files;  // read, select
  std::string account;             // empty: not given
  std::string paneOut;             // empty: the default file
  bool trace = false;
  std::string events;  // empty: no events file
  // send
  std::vector<RecipientArg> recipients;  // in the order given
  std::string subject;
  std::optional<std::string> htmlFile;
  std::optional<std::string> htmlText;
  std::vector<std::string> attachments;
};

// `args` without the program name. Throws UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace veilmark::hostapp
