// Which vector instructions the hot loops may use, decided once per process at run time, so that
// one build runs everywhere and takes the wide paths where the processor has them.
#pragma once

namespace svregistration::runtime {

/// True when the processor has AVX2 and SVREG_SIMD is not set to "scalar" (the tests set it to
/// run the portable paths, which must give the same bytes).
bool UseAvx2();

/// True when the processor has AVX-512 with byte permutes (AVX512BW and AVX512VBMI) and
/// SVREG_SIMD is not "scalar".
bool UseAvx512Vbmi();

}  // namespace svregistration::runtime
