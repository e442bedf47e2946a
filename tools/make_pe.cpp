// make_pe: writes a tiny valid PE image for a machine type, optionally with
// the bytes of a file as the payload of its code section.
//
//   make_pe <i386|amd64|ia64|arm|arm64> <out-file> [payload-file]
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "platform/sim/images/pe_image.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: make_pe <i386|amd64|ia64|arm|arm64> <out-file> [payload-file]\n";
    return 2;
  }
  const auto machine = platform::PeMachineFromName(argv[1]);
  if (!machine) {
    std::cerr << "make_pe: unknown machine type '" << argv[1] << "'\n";
    return 2;
  }
  std::string payload;
  if (argc == 4) {
    std::ifstream in(argv[3], std::ios::binary);
    if (!in) {
      std::cerr << "make_pe: cannot read " << argv[3] << "\n";
      return 1;
    }
    payload.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string image = platform::BuildPeImage(*machine, payload);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  if (!out.write(image.data(), static_cast<std::streamsize>(image.size())) || !out.flush()) {
    std::cerr << "make_pe: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
