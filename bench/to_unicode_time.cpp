// The C++ side of bench/python_to_unicode.py: the processor time of the fastest of `rounds`
// CCSID::ToUnicode calls (KeepAll, a fresh result each call, as the Python call returns a fresh
// str) over the records in a file, with the table of ICU's converter `converter`.
//
//   to_unicode_time RECORDS CONVERTER ROUNDS   prints the seconds and the length of the text
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "svregistration/ccsid.h"
#include "svregistration/icu_table.h"

namespace {

double ProcessSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s RECORDS CONVERTER ROUNDS\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<std::uint8_t> records{std::istreambuf_iterator<char>(in), {}};
  svregistration::CCSID table;
  svregistration::FillFromIcu(table, argv[2]);
  double fastest = 1e9;
  std::size_t length = 0;
  for (int round = 0; round < std::atoi(argv[3]); ++round) {
    double start = ProcessSeconds();
    std::u16string text = table.ToUnicode(records, svregistration::SOSIKeepType::KeepAll);
    fastest = std::min(fastest, ProcessSeconds() - start);
    length = text.size();
  }
  std::printf("%.6f %zu\n", fastest, length);
}
