// Writes the dialog templates of every layout into the resource script
// named on the command line; the Windows build runs it on the build machine.
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "ui/dialog_layouts.h"
#include "ui/dialog_resource_script.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " OUTPUT.rc\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out << "// Made by the build from src/ui/dialog_layouts.cpp: change the layouts there.\n";
  try {
    for (const veilmark::DialogTemplate& layout : veilmark::DialogLayouts()) {
      out << "\n" << veilmark::DialogResourceScript(layout);
    }
  } catch (const std::invalid_argument& error) {
    std::cerr << argv[0] << ": " << error.what() << "\n";
    return 1;
  }
  out.close();
  if (!out) {
    std::cerr << argv[0] << ": cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
