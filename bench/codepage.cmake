# Code page conversions against ICU's (bench/codepage_bench.cpp) and the whole-process comparison
# of svreg codepage decode with uconv (bench/codepage_compare.sh).
svreg_add_bench(codepage_bench codepage_bench.cpp)
get_filename_component(svreg_bench_shared_dir "${PROJECT_SOURCE_DIR}/../shared" ABSOLUTE)
target_link_libraries(codepage_bench PRIVATE ICU::uc ICU::data)
target_compile_definitions(codepage_bench PRIVATE SVREG_SHARED_DIR="${svreg_bench_shared_dir}")
