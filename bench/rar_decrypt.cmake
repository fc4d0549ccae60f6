# Encrypted RAR extraction against the same members unencrypted, and the key derivation time.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
add_executable(rar_decrypt_bench rar_decrypt_bench.cpp)
target_include_directories(rar_decrypt_bench PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(rar_decrypt_bench PRIVATE svregistration_internal OpenSSL::Crypto svreg_warnings)
# The solid compressed case borrows a compressed member from the shared fixtures.
get_filename_component(SVREG_BENCH_SHARED_DIR "${PROJECT_SOURCE_DIR}/../shared" ABSOLUTE)
target_compile_definitions(rar_decrypt_bench PRIVATE SVREG_SHARED_DIR="${SVREG_BENCH_SHARED_DIR}")
