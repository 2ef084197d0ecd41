// Whatever the file holds and however it is named, the upload body parses
// back into exactly its three parts with the same contents.
#include <string>
#include <vector>

#include "api/api_client.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\x01');
  const std::string nameBytes = input.substr(0, split == std::string::npos ? 0 : split);
  const std::string file = split == std::string::npos ? input : input.substr(split + 1);
  const std::u16string name(nameBytes.begin(), nameBytes.end());
  // A boundary the fuzzer can reproduce: the time is fixed.
  const std::string boundary = veilmark::MakeBoundary(1700000000, file);
  const std::string body = veilmark::BuildMultipartBody(boundary, file, name, "session-id");

  const std::string delimiter = "--" + boundary;
  FUZZ_CHECK(body.rfind(delimiter + "\r\n", 0) == 0);
  FUZZ_CHECK(body.size() >= delimiter.size() + 6);
  FUZZ_CHECK(body.compare(body.size() - delimiter.size() - 4, std::string::npos,
                          delimiter + "--\r\n") == 0);
  std::vector<std::string> parts;
  std::size_t at = delimiter.size() + 2;
  for (;;) {
    const std::size_t next = body.find("\r\n" + delimiter, at);
    FUZZ_CHECK(next != std::string::npos);
    parts.push_back(body.substr(at, next - at));
    at = next + 2 + delimiter.size();
    if (body.compare(at, 2, "--") == 0) break;
    at += 2;
  }
  FUZZ_CHECK(parts.size() == 3);
  const std::size_t headerEnd = parts[0].find("\r\n\r\n");
  FUZZ_CHECK(headerEnd != std::string::npos);
  const std::string header = parts[0].substr(0, headerEnd);
  FUZZ_CHECK(parts[0].substr(headerEnd + 4) == file);
  // Exactly two header lines: the name cannot add one or end the quote.
  const std::size_t lineBreak = header.find("\r\n");
  FUZZ_CHECK(lineBreak != std::string::npos &&
             header.find("\r\n", lineBreak + 1) == std::string::npos);
  const std::size_t nameStart = header.find("filename=\"") + 10;
  FUZZ_CHECK(header.find('"', nameStart) == lineBreak - 2);
  FUZZ_CHECK(parts[1] == "Content-Disposition: form-data; name=\"sessionId\"\r\n\r\nsession-id");
  FUZZ_CHECK(parts[2] == "Content-Disposition: form-data; name=\"json\"\r\n\r\ntrue");
  return 0;
}
