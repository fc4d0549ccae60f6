// Writes generated legacy source text of a given size (MiB) to a file, for the whole-process
// comparisons.
#include <cstdio>
#include <cstdlib>

#include "source_text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_make_source MIB FILE\n");
    return 2;
  }
  std::size_t mib = std::strtoul(argv[1], nullptr, 10);
  auto text = svregistration::bench::GenerateSourceText(mib << 20);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
