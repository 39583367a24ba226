// lumireel: the photo-album and slide-show gallery builder.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("lumireel %s\n", LUMIREEL_VERSION);
      return 0;
    }
  }
  std::printf("lumireel %s\nusage: lumireel --version\n", LUMIREEL_VERSION);
  return 2;
}
