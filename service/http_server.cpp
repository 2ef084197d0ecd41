#include "http_server.h"

#include <httplib.h>

#include <chrono>
#include <iostream>
#include <stdexcept>

#include "images.h"

namespace veilmark::service {
namespace {

// Where the pre-routing hook keeps the Content-Type of an API body.
constexpr const char* kBodyTypeHeader = "X-Veilmark-Body-Type";
constexpr std::size_t kPlainMaxBody = 64 * 1024;

void SendJson(httplib::Response& response, int status, const Json::Value& json) {
  response.status = status;
  response.set_content(WriteJson(json), "application/json; charset=utf-8");
}

void SendPage(httplib::Response& response, Page page) {
  response.status = page.status;
  for (auto& [name, value] : page.headers) response.set_header(name.c_str(), value);
  response.set_header("Cache-Control", "no-store");
  response.set_content(std::move(page.body), page.contentType.c_str());
}

std::string CommandOf(const httplib::Request& request) {
  const std::string prefix = "/api/";
  return request.path.compare(0, prefix.size(), prefix) == 0 ? request.path.substr(prefix.size())
                                                             : request.path;
}

void SendCaptcha(Api& api, const httplib::Request& request, httplib::Response& response) {
  const auto png = api.CaptchaPng(request.get_param_value("sessionId"));
  if (!png) {
    SendJson(response, 404, StatusReply("captcha", "INVALID_SESSION", "No such registration"));
    return;
  }
  SendPage(response, Page{200, "image/png", *png, {}});
}

void SendIcon(const httplib::Request&, httplib::Response& response) {
  response.set_header("Cache-Control", "public, max-age=86400");
  response.set_content(AttachmentIconPng(), "image/png");
}

// Any error httplib answers by itself (unreadable request, body over the
// limit, no route) still gets a reply document in the add-in's form.
void SetCommonHandlers(httplib::Server& server) {
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request& request, httplib::Response& response) {
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        std::string code = "HTTP_" + std::to_string(response.status);
        std::string message = "The request was refused";
        if (response.status == 404) {
          code = "NOT_FOUND";
          message = "Nothing here";
        } else if (response.status == 413) {
          code = "REQUEST_TOO_LARGE";
          message = "The request is larger than the service accepts";
        } else if (response.status == 400) {
          code = "BAD_REQUEST";
          message = "The request could not be read";
        }
        response.set_content(WriteJson(StatusReply(CommandOf(request), code, message)),
                             "application/json; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_exception_handler([](const httplib::Request& request, httplib::Response& response,
                                  std::exception_ptr) {
    SendJson(response, 500, StatusReply(CommandOf(request), "SERVER_ERROR", "The service failed"));
  });
  server.set_read_timeout(10, 0);
  server.set_write_timeout(10, 0);
  server.set_keep_alive_timeout(5);
}

}  // namespace

void HttpServer::StallIfAsked(const std::string& command) const {
  if (options_.stallCommands.count(command) == 0) return;
  std::cerr << "veilmark-service: stalling " << command << " for " << options_.stallSeconds << " s"
            << std::endl;
  std::this_thread::sleep_for(std::chrono::seconds(options_.stallSeconds));
}

HttpServer::HttpServer(Api& api, const TlsFiles& tls, const ServerOptions& options)
    : api_(api), options_(options) {
  https_ =
      std::make_unique<httplib::SSLServer>(tls.serverCertificate.c_str(), tls.serverKey.c_str());
  plain_ = std::make_unique<httplib::Server>();
  if (!https_->is_valid()) throw std::runtime_error("cannot load the server certificate");
  SetCommonHandlers(*https_);
  SetCommonHandlers(*plain_);
  https_->set_payload_max_length(options.maxBodyBytes);
  plain_->set_payload_max_length(kPlainMaxBody);
  AddHttpsRoutes();
  AddPlainRoutes();
}

HttpServer::~HttpServer() {
  Stop();
}

void HttpServer::AddHttpsRoutes() {
  // httplib caps url-encoded bodies at 8 KiB and drops a multipart filename
  // followed by ";" (as the add-in writes it). API bodies are therefore read
  // raw: the Content-Type is moved aside before httplib looks at it, and
  // the form is parsed here.
  https_->set_pre_routing_handler([](const httplib::Request& request, httplib::Response&) {
    if (request.method == "POST" && request.path.rfind("/api/", 0) == 0) {
      auto& headers = const_cast<httplib::Headers&>(request.headers);
      const auto type = headers.find("Content-Type");
      if (type != headers.end()) {
        std::string value = type->second;
        headers.erase(type);
        headers.emplace(kBodyTypeHeader, std::move(value));
      }
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  https_->Post("/api/upload-attachments", [this](const httplib::Request& request,
                                                 httplib::Response& response) {
    const std::string boundary = MultipartBoundary(request.get_header_value(kBodyTypeHeader));
    std::string error;
    const auto parts = ParseMultipart(request.body, boundary, &error);
    if (!parts) {
      SendJson(response, 400,
               StatusReply("upload-attachments", "MALFORMED_MULTIPART",
                           "The upload is not readable multipart/form-data: " + error));
      return;
    }
    StallIfAsked("upload-attachments");
    SendJson(response, 200, api_.UploadAttachments(*parts));
  });
  https_->Post(R"(/api/([A-Za-z0-9-]+))", [this](const httplib::Request& request,
                                                 httplib::Response& response) {
    const std::string command = request.matches[1];
    StallIfAsked(command);
    Json::Value reply = api_.Command(command, ParseUrlEncoded(request.body), request.remote_addr);
    const int status = reply["status"]["statusCode"].asString() == "UNKNOWN_COMMAND" ? 404 : 200;
    SendJson(response, status, reply);
  });
  https_->Get(R"(/api/.*)", [](const httplib::Request& request, httplib::Response& response) {
    SendJson(response, 405,
             StatusReply(CommandOf(request), "METHOD_NOT_ALLOWED", "Commands are sent with POST"));
  });

  https_->Get("/captcha", [this](const httplib::Request& request, httplib::Response& response) {
    SendCaptcha(api_, request, response);
  });
  https_->Get("/images/attachment.png", SendIcon);

  https_->Get("/openid/start",
              [this](const httplib::Request& request, httplib::Response& response) {
                SendPage(response, api_.OpenIdStart(request.get_param_value("ticket")));
              });
  https_->Get(
      "/openid/authorize", [this](const httplib::Request& request, httplib::Response& response) {
        // Read as a browser sends a GET form: "+" is a space.
        const std::size_t query = request.target.find('?');
        const auto form =
            ParseUrlEncoded(query == std::string::npos ? "" : request.target.substr(query + 1));
        auto field = [&form](const char* name) {
          const auto found = form.find(name);
          return found == form.end() ? std::string() : found->second;
        };
        SendPage(response,
                 api_.OpenIdAuthorize(field("ticket"), request.get_header_value("Cookie"),
                                      field("email"), field("password"), request.remote_addr));
      });
  https_->Get("/openid/finish",
              [this](const httplib::Request& request, httplib::Response& response) {
                SendPage(response, api_.OpenIdFinish(request.get_param_value("ticket"),
                                                     request.get_param_value("assertion"),
                                                     request.get_header_value("Cookie")));
              });

  https_->Get("/confirm", [this](const httplib::Request& request, httplib::Response& response) {
    SendPage(response, api_.ConfirmAddress(request.get_param_value("token")));
  });

  auto copy = [this](bool preview) {
    return [this, preview](const httplib::Request& request, httplib::Response& response) {
      auto page = api_.AttachmentCopy(request.matches[1], preview);
      if (!page) {
        SendJson(response, 404, StatusReply("attachment", "NOT_FOUND", "No such attachment"));
        return;
      }
      // Links are revoked at logout: no copy may outlive them in a cache.
      response.set_header("Cache-Control", "no-store");
      for (auto& [name, value] : page->headers) response.set_header(name.c_str(), value);
      response.set_content(std::move(page->body), page->contentType.c_str());
    };
  };
  https_->Get(R"(/attachments/([0-9a-f]{32})/[^/]*)", copy(false));
  https_->Get(R"(/previews/([0-9a-f]{32})/[^/]*)", copy(true));
}

void HttpServer::AddPlainRoutes() {
  // Only what the add-in fetches over plain HTTP; everything else needs TLS.
  plain_->Get("/captcha", [this](const httplib::Request& request, httplib::Response& response) {
    SendCaptcha(api_, request, response);
  });
  plain_->Get("/images/attachment.png", SendIcon);
  plain_->Post(R"(/api/.*)", [](const httplib::Request& request, httplib::Response& response) {
    SendJson(response, 403,
             StatusReply(CommandOf(request), "HTTPS_REQUIRED", "Commands are sent over HTTPS"));
  });
}

std::uint16_t HttpServer::Start() {
  const int httpsPort = https_->bind_to_any_port("127.0.0.1");
  const int plainPort = plain_->bind_to_any_port("127.0.0.1");
  if (httpsPort <= 0 || plainPort <= 0) throw std::runtime_error("cannot bind a loopback port");
  httpsThread_ = std::thread([this] { https_->listen_after_bind(); });
  plainThread_ = std::thread([this] { plain_->listen_after_bind(); });
  // stop() only reaches a server that runs its loop, so wait for both.
  for (int i = 0; i < 500 && !(https_->is_running() && plain_->is_running()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  PortFront::Options front;
  front.port = options_.port;
  front.tlsTarget = static_cast<std::uint16_t>(httpsPort);
  front.plainTarget = static_cast<std::uint16_t>(plainPort);
  front.idleSeconds = options_.idleSeconds;
  front.requestSeconds = options_.requestSeconds;
  try {
    return front_.Start(front);
  } catch (...) {
    Stop();
    throw;
  }
}

void HttpServer::Stop() {
  front_.Stop();
  if (https_) https_->stop();
  if (plain_) plain_->stop();
  if (httpsThread_.joinable()) httpsThread_.join();
  if (plainThread_.joinable()) plainThread_.join();
}

}  // namespace veilmark::service
