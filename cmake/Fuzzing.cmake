# libFuzzer targets: only with a compiler that has -fsanitize=fuzzer (clang). Every library of
# ours is then built with coverage for the fuzzer (and the sanitizers of NUV_SANITIZE); only the
# fuzz targets link the fuzzer's own main.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer")
set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=fuzzer")
check_cxx_source_compiles([[
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }
]] NUV_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)

if(NUV_HAVE_LIBFUZZER)
    add_compile_options(-fsanitize=fuzzer-no-link)
else()
    message(WARNING "${CMAKE_CXX_COMPILER_ID} has no -fsanitize=fuzzer: the fuzz targets are not "
                    "built (use the 'fuzz' preset, with clang and libclang-rt installed)")
endif()
