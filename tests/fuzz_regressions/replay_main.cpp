// Replays fuzz inputs through a fuzz target's entry function outside the fuzzer: every file named
// on the command line, and every file inside each folder named (folders that are not there hold
// nothing). A finding aborts, as it does under the fuzzer.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <set>

#include "support/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::set<fs::path> files;  // in name order
  std::error_code ignored;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_regular_file(argv[i], ignored)) files.insert(argv[i]);
    for (const auto& entry : fs::directory_iterator(argv[i], ignored)) {
      if (entry.is_regular_file()) files.insert(entry.path());
    }
  }
  for (const fs::path& file : files) {
    const std::string bytes = svregistration::testing::ReadFile(file);
    std::cout << "replaying " << file.string() << " (" << bytes.size() << " bytes)" << std::endl;
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::cout << files.size() << " inputs replayed" << std::endl;
  return 0;
}
