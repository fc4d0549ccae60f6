# Encrypted RAR extraction against the same members unencrypted, and the key derivation time.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
add_executable(rar_decrypt_bench rar_decrypt_bench.cpp)
target_include_directories(rar_decrypt_bench PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(rar_decrypt_bench PRIVATE svregistration_internal OpenSSL::Crypto svreg_warnings)
