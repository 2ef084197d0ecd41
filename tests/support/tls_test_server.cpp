#include "support/tls_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <stdexcept>

namespace veilmark::testing {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Reads until the head is complete and Content-Length bytes of body arrived.
bool ReadRequest(SSL* ssl, RecordedRequest& request) {
  std::string data;
  char buffer[16384];
  std::size_t headEnd = std::string::npos;
  std::size_t bodyLength = 0;
  for (;;) {
    if (headEnd == std::string::npos) {
      headEnd = data.find("\r\n\r\n");
      if (headEnd != std::string::npos) {
        std::size_t lineEnd = data.find("\r\n");
        const std::string first = data.substr(0, lineEnd);
        const std::size_t space = first.find(' ');
        request.method = first.substr(0, space);
        request.target = first.substr(space + 1, first.rfind(' ') - space - 1);
        std::size_t at = lineEnd + 2;
        while (at < headEnd) {
          std::size_t end = data.find("\r\n", at);
          const std::string line = data.substr(at, end - at);
          const std::size_t colon = line.find(':');
          std::string value = line.substr(colon + 1);
          value.erase(0, value.find_first_not_of(' '));
          request.headers.emplace_back(line.substr(0, colon), value);
          at = end + 2;
        }
        const std::string length = request.header("Content-Length");
        bodyLength = length.empty() ? 0 : std::stoul(length);
      }
    }
    if (headEnd != std::string::npos && data.size() >= headEnd + 4 + bodyLength) {
      request.body = data.substr(headEnd + 4, bodyLength);
      return true;
    }
    const int got = SSL_read(ssl, buffer, sizeof buffer);
    if (got <= 0) return false;
    data.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

std::string RecordedRequest::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (Lower(key) == Lower(name)) return value;
  }
  return {};
}

bool ServerConnection::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int wrote = SSL_write(ssl_, bytes.data() + done, static_cast<int>(bytes.size() - done));
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

bool ServerConnection::Reply(int status, const std::string& body, const std::string& contentType) {
  return Write("HTTP/1.1 " + std::to_string(status) + " Status\r\nContent-Type: " + contentType +
               "\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body);
}

void ServerConnection::StallUntilClientLeaves(int seconds) {
  pollfd waiting{SSL_get_fd(ssl_), POLLIN, 0};
  char byte;
  for (int waited = 0; waited < seconds * 10; ++waited) {
    if (poll(&waiting, 1, 100) > 0 && SSL_read(ssl_, &byte, 1) <= 0) return;
  }
}

bool ServerConnection::Trickle(const std::string& bytes, int perSecond) {
  pollfd waiting{SSL_get_fd(ssl_), POLLIN, 0};
  char byte;
  for (char next : bytes) {
    // A client that gave up is readable at its end of stream.
    if (poll(&waiting, 1, 1000 / perSecond) > 0 && SSL_read(ssl_, &byte, 1) <= 0) return false;
    if (!Write(std::string(1, next))) return false;
  }
  return true;
}

TlsTestServer::TlsTestServer(const TestCertificates& certs, Handler handler)
    : handler_(std::move(handler)) {
  std::signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the test run
  context_ = SSL_CTX_new(TLS_server_method());
  if (!context_ || SSL_CTX_use_certificate_chain_file(context_, certs.certFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context_, certs.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw std::runtime_error("cannot load the test certificate");
  }
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("cannot listen on loopback");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

TlsTestServer::~TlsTestServer() {
  stopping_ = true;
  thread_.join();
  close(listener_);
  SSL_CTX_free(context_);
}

std::vector<RecordedRequest> TlsTestServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void TlsTestServer::Serve() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 50) <= 0) continue;
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    HandleConnection(fd);
    close(fd);
  }
}

void TlsTestServer::HandleConnection(int fd) {
  SSL* ssl = SSL_new(context_);
  SSL_set_fd(ssl, fd);
  RecordedRequest request;
  if (SSL_accept(ssl) == 1 && ReadRequest(ssl, request)) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    ServerConnection connection(ssl);
    handler_(request, connection);
    SSL_shutdown(ssl);
  }
  ERR_clear_error();
  SSL_free(ssl);
}

}  // namespace veilmark::testing
