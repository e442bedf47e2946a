// bvlsim-testecho: a test-only program that writes each argument on a line
// of its standard output, "echo error" on its standard error, and exits with
// the number after --exit (0 otherwise).
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  int code = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--exit") == 0 && i + 1 < argc) {
      code = std::atoi(argv[++i]);
      continue;
    }
    std::printf("%s\n", argv[i]);
  }
  std::fprintf(stderr, "echo error\n");
  return code;
}
