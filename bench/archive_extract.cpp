// archive_extract zip|rar ARCHIVE OUTDIR [MEMBER]: one extraction as a whole process, for timing
// against other extractors. Password prompts are answered empty. Exit 1 when Extract is false.
#include <cstdio>
#include <cstring>
#include <string>

#include "svregistration/rar.h"
#include "svregistration/zip.h"

int main(int argc, char** argv) {
  if (argc < 4 || (std::strcmp(argv[1], "zip") != 0 && std::strcmp(argv[1], "rar") != 0)) {
    std::fprintf(stderr, "usage: archive_extract zip|rar ARCHIVE OUTDIR [MEMBER]\n");
    return 2;
  }
  const std::string member = argc > 4 ? argv[4] : "";
  const bool ok = std::strcmp(argv[1], "zip") == 0
                      ? svregistration::ZIP().Extract(argv[2], argv[3], member)
                      : svregistration::RAR().Extract(argv[2], argv[3], member);
  return ok ? 0 : 1;
}
