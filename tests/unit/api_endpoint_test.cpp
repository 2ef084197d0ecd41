#include "api/api_endpoint.h"

#include <gtest/gtest.h>

namespace veilmark {
namespace {

TEST(ApiHost, DefaultIsTheServiceOnPort443) {
  ApiEndpoint endpoint = ParseApiHost("");
  EXPECT_EQ(endpoint.host, u"api.veilmark.com");
  EXPECT_EQ(endpoint.port, 443);
  EXPECT_EQ(endpoint.authority(), u"api.veilmark.com");
}

TEST(ApiHost, HostWithPort) {
  ApiEndpoint endpoint = ParseApiHost("localhost:8443");
  EXPECT_EQ(endpoint.host, u"localhost");
  EXPECT_EQ(endpoint.port, 8443);
  EXPECT_EQ(endpoint.authority(), u"localhost:8443");
  EXPECT_EQ(ParseApiHost("[::1]:9000").host, u"::1");
  EXPECT_EQ(ParseApiHost("[::1]:9000").authority(), u"[::1]:9000");
}

TEST(ApiHost, BadPortsAreNotPorts) {
  for (const char* text : {"host:0", "host:65536", "host:80x", "host:"}) {
    EXPECT_EQ(ParseApiHost(text).port, 443) << text;
    EXPECT_EQ(ParseApiHost(text).host, std::u16string(text, text + strlen(text))) << text;
  }
}

TEST(ApiHost, EnvironmentNamesHostAndCaBundle) {
  setenv("VEILMARK_API_HOST", "svc.test:1234", 1);
  setenv("VEILMARK_CA_BUNDLE", "/tmp/ca.pem", 1);
  ApiEndpoint endpoint = EndpointFromEnvironment();
  unsetenv("VEILMARK_API_HOST");
  unsetenv("VEILMARK_CA_BUNDLE");
  EXPECT_EQ(endpoint.host, u"svc.test");
  EXPECT_EQ(endpoint.port, 1234);
  EXPECT_EQ(endpoint.caBundle, "/tmp/ca.pem");
}

}  // namespace
}  // namespace veilmark
