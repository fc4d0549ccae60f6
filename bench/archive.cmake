# Zip extraction against bsdtar: archive_extract runs one ZIP.Extract or RAR.Extract as a whole
# process, and archive_bench.sh times it against `bsdtar -xf` on the same generated archive.
add_executable(archive_extract archive_extract.cpp)
target_link_libraries(archive_extract PRIVATE svregistration svreg_warnings)
