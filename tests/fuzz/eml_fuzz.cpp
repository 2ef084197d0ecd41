// Any file handed to veilmark-host is either a message or a clear error.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "host/eml_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // In the working folder (the build folder), gone when the run ends.
  static const std::string path = [] {
    std::string name = "eml-fuzz-" + std::to_string(getpid()) + ".eml";
    std::atexit([] { std::remove(("eml-fuzz-" + std::to_string(getpid()) + ".eml").c_str()); });
    return name;
  }();
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    const veilmark::hostapp::EmlMessage message = veilmark::hostapp::LoadEmlMessage(path);
    FUZZ_CHECK(message.rawHeaders.size() <= size);
    for (const auto& attachment : message.attachments) {
      FUZZ_CHECK(!attachment.fileName.empty());
      // Decoding happens when saved: a broken part may fail, never crash.
      attachment.writeTo(path + ".part");
    }
    std::remove((path + ".part").c_str());
    veilmark::hostapp::ReceivedByAddress(message, "");
    FUZZ_CHECK(!veilmark::hostapp::EntryIdFor(message.path, message.messageId).empty());
  } catch (const veilmark::hostapp::InputFileError&) {
    // A clear refusal is a fine answer.
  }
  return 0;
}
