# The fuzz preset's compiler: libFuzzer comes with clang only. Without it
# the configure step stops here and says how to get it.
find_program(QUOR_CLANGXX NAMES clang++ clang++-14)
if(NOT QUOR_CLANGXX)
  message(FATAL_ERROR
    "The fuzz preset needs clang with its libFuzzer runtime (Debian packages clang and "
    "libclang-rt-14-dev), and clang++ was not found. Run scripts/install-deps.")
endif()
set(CMAKE_CXX_COMPILER "${QUOR_CLANGXX}" CACHE FILEPATH "C++ compiler of the fuzz build")
