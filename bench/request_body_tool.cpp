// Prints the exact request body the add-in sends, so that curl can post the
// identical bytes beside it:
//   request_body_tool decrypt CIPHER_FILE SESSION      -> decrypt-mime form body
//   request_body_tool upload FILE NAME SESSION          -> multipart body; the
//       boundary goes to stderr
//   request_body_tool send SESSION TO SUBJECT BODY IDS   -> encrypt-send form body
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "api/api_client.h"
#include "base/text.h"

namespace {

std::string ReadAll(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "decrypt" && argc == 4) {
    std::cout << veilmark::BuildFormBody(
        {}, {{"cipherText", ReadAll(argv[2])}, {"sessionId", argv[3]}});
    return 0;
  }
  if (mode == "upload" && argc == 5) {
    const std::string data = ReadAll(argv[2]);
    const std::string boundary = veilmark::MakeBoundary(std::time(nullptr), data);
    std::cerr << boundary << "\n";
    std::cout << veilmark::BuildMultipartBody(boundary, data, veilmark::Utf8ToWide(argv[3]),
                                              argv[4]);
    return 0;
  }
  if (mode == "send" && argc == 7) {
    std::cout << veilmark::BuildFormBody({{"to", veilmark::Utf8ToWide(argv[3])},
                                          {"subject", veilmark::Utf8ToWide(argv[4])},
                                          {"body", veilmark::Utf8ToWide(argv[5])}},
                                         {{"attachment", argv[6]}, {"sessionId", argv[2]}});
    return 0;
  }
  std::cerr << "usage: request_body_tool decrypt CIPHER_FILE SESSION\n"
               "       request_body_tool upload FILE NAME SESSION\n"
               "       request_body_tool send SESSION TO SUBJECT BODY IDS\n";
  return 2;
}
