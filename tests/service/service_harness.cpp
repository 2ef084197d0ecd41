#include "service_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

extern char** environ;

namespace veilmark::service::testing {
namespace {

constexpr int kReadySeconds = 30;
constexpr int kStopSeconds = 10;

struct Spawned {
  pid_t pid = -1;
  int out = -1;  // the child's stdout
};

// VEILMARK_SERVICE_UNDER_TEST runs the same tests against another build of
// the service (an older one, to see a test fail without its fix).
std::string ServiceBinary() {
  const char* other = std::getenv("VEILMARK_SERVICE_UNDER_TEST");
  return other && *other ? other : VEILMARK_SERVICE_BINARY;
}

Spawned Spawn(const std::string& stateDir, const std::vector<std::string>& args) {
  std::vector<std::string> words = {ServiceBinary(), "--state", stateDir};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  Spawned spawned;
  if (posix_spawn(&spawned.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    spawned.pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  spawned.out = pipeFds[0];
  return spawned;
}

// Reads until `stop` says enough or the deadline passes.
template <class Stop>
std::string ReadUntil(int fd, std::chrono::steady_clock::time_point deadline, Stop stop) {
  std::string text;
  char buffer[4096];
  while (!stop(text)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count <= 0) break;
    text.append(buffer, static_cast<std::size_t>(count));
  }
  return text;
}

int WaitFor(pid_t pid, int seconds) {
  for (int i = 0; i < seconds * 50; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vmsvc-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

int ConnectRaw(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

CommandResult RunService(const std::string& stateDir, const std::vector<std::string>& args) {
  Spawned spawned = Spawn(stateDir, args);
  CommandResult result;
  if (spawned.pid < 0) return result;
  result.out = ReadUntil(spawned.out, std::chrono::steady_clock::now() + std::chrono::seconds(30),
                         [](const std::string&) { return false; });
  ::close(spawned.out);
  result.exitCode = WaitFor(spawned.pid, 30);
  return result;
}

ServiceProcess::ServiceProcess(std::string stateDir, std::vector<std::string> extraArgs)
    : stateDir_(std::move(stateDir)) {
  Spawned spawned = Spawn(stateDir_, extraArgs);
  pid_ = spawned.pid;
  if (pid_ < 0) {
    ADD_FAILURE() << "cannot start " << ServiceBinary();
    return;
  }
  const std::string out =
      ReadUntil(spawned.out, std::chrono::steady_clock::now() + std::chrono::seconds(kReadySeconds),
                [](const std::string& text) { return text.find('\n') != std::string::npos; });
  ::close(spawned.out);  // nothing more is printed; a closed pipe is harmless
  readyLine_ = out.substr(0, out.find('\n'));
  std::smatch match;
  static const std::regex kReady(R"(listening port=(\d+) ca=(\S+))");
  if (!std::regex_match(readyLine_, match, kReady)) {
    ADD_FAILURE() << "no ready line, got: " << out;
    return;
  }
  port_ = static_cast<std::uint16_t>(std::stoi(match[1]));
  caFile_ = match[2];
}

ServiceProcess::~ServiceProcess() {
  Stop();
}

int ServiceProcess::Stop(int signal) {
  if (pid_ < 0) return -1;
  ::kill(pid_, signal);
  const int status = WaitFor(pid_, kStopSeconds);
  pid_ = -1;
  return status;
}

std::unique_ptr<httplib::SSLClient> ServiceProcess::Https() const {
  auto client = std::make_unique<httplib::SSLClient>("localhost", port_);
  client->set_ca_cert_path(caFile_.c_str());
  client->enable_server_certificate_verification(true);
  client->set_connection_timeout(5, 0);
  client->set_read_timeout(30, 0);
  client->set_write_timeout(30, 0);
  return client;
}

std::unique_ptr<httplib::Client> ServiceProcess::Plain() const {
  auto client = std::make_unique<httplib::Client>("localhost", port_);
  client->set_connection_timeout(5, 0);
  client->set_read_timeout(10, 0);
  return client;
}

Json::Value ServiceProcess::Call(
    const std::string& command,
    const std::vector<std::pair<std::string, std::string>>& form) const {
  std::string body;
  for (const auto& [name, value] : form) body += name + "=" + FormEncode(value) + "&";
  body += "json=true";
  auto result =
      Https()->Post(("/api/" + command).c_str(), body, "application/x-www-form-urlencoded");
  if (!result) {
    ADD_FAILURE() << command << ": " << httplib::to_string(result.error());
    return Json::Value();
  }
  return ParseJson(result->body);
}

Json::Value ServiceProcess::Upload(const std::string& sessionId, const std::string& fileName,
                                   const std::string& contentType, const std::string& data) const {
  const std::string boundary = "---------------------veilmark1733650000";
  const std::string body =
      "--" + boundary + "\r\nContent-Disposition: form-data; name=\"ATT1\"; filename=\"" +
      fileName + "\";\r\nContent-Type: " + contentType + "\r\n\r\n" + data + "\r\n--" + boundary +
      "\r\nContent-Disposition: form-data; name=\"sessionId\"\r\n\r\n" + sessionId + "\r\n--" +
      boundary + "\r\nContent-Disposition: form-data; name=\"json\"\r\n\r\ntrue\r\n--" + boundary +
      "--\r\n";
  auto result = Https()->Post("/api/upload-attachments", body,
                              ("multipart/form-data; boundary=" + boundary).c_str());
  if (!result) {
    ADD_FAILURE() << "upload: " << httplib::to_string(result.error());
    return Json::Value();
  }
  return ParseJson(result->body);
}

std::string ServiceProcess::Login(const std::string& email, const std::string& password,
                                  const std::string& extraPassword) const {
  Json::Value reply = Call("login", {{"email", email}, {"password", password}});
  std::string session = reply["sessionId"].asString();
  if (StatusCode(reply) == "EXTRA_PASS") {
    session = session.substr(0, session.find("-extPas"));
    reply = Call("extra-password", {{"password", extraPassword}, {"sessionId", session}});
  }
  EXPECT_EQ(StatusCode(reply), "OK") << "login of " << email;
  return reply["sessionId"].asString();
}

std::string FormEncode(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) && byte < 0x80) {
      out.push_back(c);
    } else if (c == '-') {
      out.push_back(c);
    } else if (c == ' ') {
      out.push_back('+');
    } else {
      out += {'%', kDigits[byte >> 4], kDigits[byte & 15]};
    }
  }
  return out;
}

Json::Value ParseJson(const std::string& text) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream stream(text);
  if (!Json::parseFromStream(builder, stream, &value, &errors)) return Json::Value();
  return value;
}

std::string StatusCode(const Json::Value& reply) {
  return reply.isObject() ? reply["status"]["statusCode"].asString() : "<not JSON>";
}

std::vector<std::string> Mailbox(const std::string& stateDir, const std::string& address) {
  std::vector<std::filesystem::path> files;
  const auto folder = std::filesystem::path(stateDir) / "mail" / address / "new";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    files.push_back(entry.path());
  }
  // Maildir names start with the delivery time, then a counter.
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
    return std::filesystem::last_write_time(a) < std::filesystem::last_write_time(b) ||
           (std::filesystem::last_write_time(a) == std::filesystem::last_write_time(b) && a < b);
  });
  std::vector<std::string> messages;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    messages.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return messages;
}

std::string HeaderBlock(const std::string& message) {
  return message.substr(0, message.find("\n\n") + 1);
}

std::string ArmoredPayload(const std::string& message) {
  const std::size_t begin = message.find("-----BEGIN PGP MESSAGE-----");
  const std::string endMark = "-----END PGP MESSAGE-----";
  const std::size_t end = message.find(endMark, begin);
  if (begin == std::string::npos || end == std::string::npos) return "";
  return message.substr(begin, end + endMark.size() - begin) + "\n";
}

}  // namespace veilmark::service::testing
