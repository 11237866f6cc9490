# The fuzzing build as a nested project: the same sources configured with
# Clang in <build>/fuzz-clang, building only the fuzz targets. It is rebuilt
# with every build of this project, so the targets follow the sources.
find_program(QS_CLANG clang)
find_program(QS_CLANGXX clang++)
if(NOT QS_CLANG OR NOT QS_CLANGXX)
  message(FATAL_ERROR "QS_FUZZ needs clang and clang++ (packages clang, libclang-rt-14-dev)")
endif()
set(QS_FUZZ_JOBS 4 CACHE STRING "Parallel compile jobs of the nested fuzzing build")

set(qs_fuzz_args
  -DCMAKE_C_COMPILER=${QS_CLANG}
  -DCMAKE_CXX_COMPILER=${QS_CLANGXX}
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
  -DQS_FUZZ=ON
  -DQS_BUILD_TESTS=OFF
  -DQS_BUILD_BENCH=OFF)
foreach(var CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER)
  if(${var})
    list(APPEND qs_fuzz_args -D${var}=${${var}})
  endif()
endforeach()

include(ExternalProject)
ExternalProject_Add(fuzz_clang
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz-clang
  CMAKE_ARGS ${qs_fuzz_args}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target fuzz_targets --parallel ${QS_FUZZ_JOBS}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_CONFIGURE ON
  USES_TERMINAL_BUILD ON)
