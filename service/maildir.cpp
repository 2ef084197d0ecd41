#include "maildir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "secrets.h"

namespace veilmark::service {
namespace {

std::atomic<unsigned> deliveryCounter{0};

void MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot create " + path);
  }
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "localhost";
  // "/" and ":" have meanings in Maildir names.
  std::string host = name;
  for (char& c : host) {
    if (c == '/') c = '_';
    if (c == ':') c = '.';
  }
  return host;
}

std::string RfcDate(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S %z", &local);
  return text;
}

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) throw std::runtime_error("cannot write " + path);
    written += static_cast<std::size_t>(count);
  }
}

}  // namespace

bool IsDeliverableAddress(const std::string& address) {
  const std::size_t at = address.find('@');
  if (at == std::string::npos || at == 0 || at + 1 >= address.size() || address.size() > 254 ||
      address.find('@', at + 1) != std::string::npos) {
    return false;
  }
  auto part = [&](std::size_t begin, std::size_t end, const char* extra) {
    if (address[begin] == '.' || address[end - 1] == '.') return false;
    for (std::size_t i = begin; i < end; ++i) {
      const auto c = static_cast<unsigned char>(address[i]);
      if (!std::isalnum(c) && !std::strchr(extra, c)) return false;
      if (c == '.' && i + 1 < end && address[i + 1] == '.') return false;
    }
    return true;
  };
  return part(0, at, "._%+-") && part(at + 1, address.size(), ".-");
}

StagedMail StageToMaildir(const std::string& root, const std::string& recipient,
                          const std::string& envelopeFrom, const std::string& message) {
  if (!IsDeliverableAddress(recipient)) throw std::invalid_argument("bad recipient " + recipient);
  const std::string folder = root + "/" + Lower(recipient);
  MakeDirectory(root);
  MakeDirectory(folder);
  for (const char* sub : {"/tmp", "/new", "/cur"}) MakeDirectory(folder + sub);

  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto micros =
      std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() %
      1000000;
  const std::string queueId = RandomHex(6);
  // time.M<usec>P<pid>Q<counter>R<random>.host: unique even within one microsecond.
  const std::string unique = std::to_string(seconds) + ".M" + std::to_string(micros) + "P" +
                             std::to_string(::getpid()) + "Q" + std::to_string(++deliveryCounter) +
                             "R" + queueId + "." + HostName();

  const std::string trace = "Return-Path: <" + envelopeFrom + ">\nDelivered-To: " + recipient +
                            "\nReceived: from localhost (localhost [127.0.0.1])\n\tby " +
                            HostName() + " (veilmark-service) with HTTPS id " + queueId +
                            "\n\tfor <" + recipient + ">; " + RfcDate(seconds) + "\n";

  StagedMail staged{folder + "/tmp/" + unique, folder + "/new/" + unique};
  const int fd = ::open(staged.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + staged.temporary);
  try {
    WriteAll(fd, trace + message, staged.temporary);
    if (::fsync(fd) != 0) throw std::runtime_error("cannot sync " + staged.temporary);
  } catch (...) {
    ::close(fd);
    ::unlink(staged.temporary.c_str());
    throw;
  }
  ::close(fd);
  return staged;
}

void PublishStaged(const std::vector<StagedMail>& staged) {
  std::size_t published = 0;
  for (; published < staged.size(); ++published) {
    const StagedMail& mail = staged[published];
    if (std::rename(mail.temporary.c_str(), mail.final.c_str()) != 0) break;
  }
  if (published == staged.size()) return;
  // Take back what was published, so that a retry delivers no duplicates.
  for (std::size_t i = 0; i < published; ++i) ::unlink(staged[i].final.c_str());
  DiscardStaged(staged);
  throw std::runtime_error("cannot move " + staged[published].temporary + " into new/");
}

void DiscardStaged(const std::vector<StagedMail>& staged) {
  for (const StagedMail& mail : staged) ::unlink(mail.temporary.c_str());
}

std::string DeliverToMaildir(const std::string& root, const std::string& recipient,
                             const std::string& envelopeFrom, const std::string& message) {
  const StagedMail staged = StageToMaildir(root, recipient, envelopeFrom, message);
  PublishStaged({staged});
  return staged.final;
}

}  // namespace veilmark::service
