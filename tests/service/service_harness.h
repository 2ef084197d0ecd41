// Runs the real veilmark-service in a temporary state folder and talks to it
// as the add-in does: form POSTs and multipart uploads over HTTPS that trust
// the service's own CA, plain HTTP for the CAPTCHA.
#pragma once

#include <httplib.h>
#include <json/json.h>
#include <sys/types.h>

#include <csignal>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace veilmark::service::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct CommandResult {
  int exitCode = -1;
  std::string out;
};

// `veilmark-service --state DIR <args...>`, run to its end (bounded).
CommandResult RunService(const std::string& stateDir, const std::vector<std::string>& args);

// A plain TCP connection to the service on loopback: its descriptor, or -1.
int ConnectRaw(std::uint16_t port);

class ServiceProcess {
 public:
  // Starts the service and waits for its ready line; fails the test if none comes.
  explicit ServiceProcess(std::string stateDir, std::vector<std::string> extraArgs = {});
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  bool ready() const { return port_ != 0; }
  const std::string& readyLine() const { return readyLine_; }
  std::uint16_t port() const { return port_; }
  const std::string& caFile() const { return caFile_; }
  const std::string& stateDir() const { return stateDir_; }

  // Sends `signal`, then the exit status (-1 when it had to be killed).
  int Stop(int signal = SIGTERM);

  // A verifying HTTPS client for https://localhost:<port>.
  std::unique_ptr<httplib::SSLClient> Https() const;
  std::unique_ptr<httplib::Client> Plain() const;

  // POST /api/<command> with the form as the add-in encodes it; the reply
  // document, or a null value when the reply is not JSON.
  Json::Value Call(const std::string& command,
                   const std::vector<std::pair<std::string, std::string>>& form) const;
  // upload-attachments in the add-in's exact multipart form.
  Json::Value Upload(const std::string& sessionId, const std::string& fileName,
                     const std::string& contentType, const std::string& data) const;

  // A session of `email` (answering an additional password if given).
  std::string Login(const std::string& email, const std::string& password,
                    const std::string& extraPassword = "") const;

 private:
  std::string stateDir_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
  std::string caFile_;
  std::string readyLine_;
};

// The add-in's form encoding: letters, digits and "-" stay, " " is "+".
std::string FormEncode(const std::string& bytes);
Json::Value ParseJson(const std::string& text);
std::string StatusCode(const Json::Value& reply);

// The messages delivered to `address`, oldest first, whole files.
std::vector<std::string> Mailbox(const std::string& stateDir, const std::string& address);
// The header block of a message (up to the first blank line).
std::string HeaderBlock(const std::string& message);
// The armored payload of a PGP/MIME message.
std::string ArmoredPayload(const std::string& message);

}  // namespace veilmark::service::testing
