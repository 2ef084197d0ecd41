// The service's readers of request bodies take any bytes a client sends:
// url-encoded forms and multipart uploads. Besides not failing, what they
// read back must be what a well-formed body carried.
#include <string>
#include <string_view>

#include "form.h"
#include "fuzz_support.h"

using veilmark::service::MultipartBoundary;
using veilmark::service::ParseMultipart;
using veilmark::service::ParseUrlEncoded;
using veilmark::service::PercentDecode;
using veilmark::service::PercentEncode;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  // Any bytes as a form, and each value back through an encoding.
  for (const auto& [name, value] : ParseUrlEncoded(input)) {
    FUZZ_CHECK(name.size() <= input.size() && value.size() <= input.size());
    const auto again = ParseUrlEncoded("k=" + PercentEncode(value));
    FUZZ_CHECK(again.size() == 1 && again.at("k") == value);
  }
  FUZZ_CHECK(PercentDecode(PercentEncode(input), true) == input);

  // Any bytes as a Content-Type (up to \x01) and a multipart body.
  const std::size_t split = input.find('\x01');
  const std::string type = split == std::string::npos ? "" : input.substr(0, split);
  const std::string body = split == std::string::npos ? input : input.substr(split + 1);
  const std::string boundary = MultipartBoundary(type);
  std::string error;
  if (const auto parts = ParseMultipart(body, boundary, &error)) {
    std::size_t total = 0;
    for (const auto& part : *parts) total += part.data.size() + part.name.size();
    FUZZ_CHECK(total <= body.size());
  }

  // The same bytes as a file in a well-formed upload come back unchanged.
  std::string fence = "fence";
  while (input.find(fence) != std::string::npos) fence += "x";
  const std::string upload =
      "--" + fence +
      "\r\nContent-Disposition: form-data; name=\"sessionId\"\r\n\r\n"
      "s1\r\n--" +
      fence +
      "\r\nContent-Disposition: form-data; name=\"ATT1\"; "
      "filename=\"f.bin\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
      input + "\r\n--" + fence + "--\r\n";
  const auto parts =
      ParseMultipart(upload, MultipartBoundary("multipart/form-data; boundary=" + fence), &error);
  FUZZ_CHECK(parts && parts->size() == 2);
  FUZZ_CHECK((*parts)[0].name == "sessionId" && (*parts)[0].data == "s1");
  FUZZ_CHECK((*parts)[1].fileName && *(*parts)[1].fileName == "f.bin");
  FUZZ_CHECK((*parts)[1].data == input);
  return 0;
}
