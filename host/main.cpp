// veilmark-host: the add-in core driven as the mail client drives it, over
// .eml files. Usage: kUsage in command_line.cpp, and README.md.
#include <iostream>
#include <string>
#include <vector>

#include "host/command_line.h"
#include "host/host_session.h"

int main(int argc, char** argv) {
  using namespace veilmark::hostapp;
  const std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine line;
  try {
    line = ParseCommandLine(args);
  } catch (const UsageError& error) {
    std::cerr << "veilmark-host: " << error.what() << "\n" << kUsage;
    return kExitUsage;
  }
  return RunCommand(line, veilmark::PlatformFromEnvironment(), std::cout, std::cerr);
}
