// The stand-in of bvludt.exe (the updater) and bvlchk.exe (the checker): it
// records that it ran, with its command line, and ends.
#include <string>

#include "platform/codepage.h"
#include "stand_in_support.h"

int main(int argc, char** argv) {
  std::wstring arguments;
  for (int i = 1; i < argc; ++i) arguments += L" " + platform::Utf8ToWide(argv[i]);
  stand_in::Log(BVL_PROGRAM_TAG, L"ran" + arguments);
  return 0;
}
