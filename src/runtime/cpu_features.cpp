// Run-time choice of the vector paths.
#include "runtime/cpu_features.h"

#include <cstdlib>
#include <cstring>

namespace svregistration::runtime {

namespace {

bool ScalarForced() {
  const char* choice = std::getenv("SVREG_SIMD");
  return choice != nullptr && std::strcmp(choice, "scalar") == 0;
}

bool DetectAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#else
  return false;
#endif
}

bool DetectAvx512Vbmi() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512bw") != 0 && __builtin_cpu_supports("avx512vbmi") != 0;
#else
  return false;
#endif
}

}  // namespace

bool UseAvx512Vbmi() {
  static const bool use = !ScalarForced() && DetectAvx512Vbmi();
  return use;
}

bool UseAvx2() {
  static const bool use = !ScalarForced() && DetectAvx2();
  return use;
}

}  // namespace svregistration::runtime
