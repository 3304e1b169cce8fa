# Compile flags of the fuzz build: every library is instrumented for
# libFuzzer's coverage and for ASan and UBSan; only the fuzz targets link the
# fuzzer's own main (fuzz/CMakeLists.txt). Any undefined behaviour aborts, so
# the fuzzer keeps the input that caused it.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR
    "QUOR_FUZZ needs clang (found ${CMAKE_CXX_COMPILER_ID}). Use the fuzz preset "
    "(cmake --workflow --preset fuzz); run scripts/install-deps if clang is missing.")
endif()
set(QUOR_FUZZ_SANITIZERS "address,undefined")
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer,${QUOR_FUZZ_SANITIZERS}")
set(CMAKE_REQUIRED_LINK_OPTIONS "-fsanitize=fuzzer,${QUOR_FUZZ_SANITIZERS}")
check_cxx_source_compiles([[
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
]] QUOR_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
unset(CMAKE_REQUIRED_LINK_OPTIONS)
if(NOT QUOR_HAVE_LIBFUZZER)
  # Checked again on the next configure, once the runtime is installed.
  unset(QUOR_HAVE_LIBFUZZER CACHE)
  message(FATAL_ERROR
    "clang cannot link a libFuzzer target with -fsanitize=fuzzer,${QUOR_FUZZ_SANITIZERS}: "
    "the runtime (Debian package libclang-rt-14-dev) is missing. Run scripts/install-deps.")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,${QUOR_FUZZ_SANITIZERS} -fno-omit-frame-pointer)
# For long runs past undefined behaviour that is already known: UBSan then
# reports each place once and the run goes on. Never for CI.
option(QUOR_FUZZ_RECOVER "Fuzz build: undefined behaviour is reported, not fatal" OFF)
if(QUOR_FUZZ_RECOVER)
  add_compile_options(-fsanitize-recover=undefined)
else()
  add_compile_options(-fno-sanitize-recover=all)
endif()
# clang warns where GCC does not: QuorLog writes an empty-format line on
# purpose.
add_compile_options(-Wno-format-zero-length)
