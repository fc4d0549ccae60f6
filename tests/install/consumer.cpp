// A program outside the project that uses the installed library.
#include <svregistration/svregistration.h>

#include <cstdio>

int main() {
  svregistration::CCSID table;
  std::printf("%s %d\n", svregistration::ResultName(svregistration::rOK), table.CcsidNumber());
  return 0;
}
