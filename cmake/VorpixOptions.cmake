# vorpix_options: the compile options every Vorpix target links against.
# C++20, warnings on, and the sanitizer selected by VORPIX_SANITIZE.

add_library(vorpix_options INTERFACE)
add_library(vorpix::options ALIAS vorpix_options)

target_compile_features(vorpix_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

target_compile_options(vorpix_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wconversion -Wno-sign-conversion
  -Wimplicit-fallthrough)

# CI builds with warnings as errors; developers see them as warnings.
option(VORPIX_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
if(VORPIX_WARNINGS_AS_ERRORS)
  # GCC 12 reports std::string concatenations inlined at -O3 as overlapping
  # or overflowing copies (GCC bugs 105329, 105651): shown, never fatal.
  target_compile_options(vorpix_options INTERFACE -Werror
    $<$<CXX_COMPILER_ID:GNU>:-Wno-error=restrict -Wno-error=stringop-overflow
                             -Wno-error=array-bounds -Wno-error=stringop-overread>)
endif()

# Debug builds (and the AddressSanitizer preset, which is one) also check the
# standard library's preconditions: indexes, iterators, empty containers.
target_compile_definitions(vorpix_options INTERFACE $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)

if(VORPIX_SANITIZE STREQUAL "address")
  # -O1 keeps the media tests' encoding and the renderer fast enough to run
  # under the sanitizer in CI; assertions stay on (the preset is a Debug build).
  target_compile_options(vorpix_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
    $<$<CONFIG:Debug>:-O1>)
  target_link_options(vorpix_options INTERFACE -fsanitize=address,undefined)
elseif(VORPIX_SANITIZE STREQUAL "thread")
  target_compile_options(vorpix_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vorpix_options INTERFACE -fsanitize=thread)
elseif(VORPIX_SANITIZE STREQUAL "fuzzer")
  # Libraries are instrumented for coverage; only the fuzz executables link libFuzzer's main.
  target_compile_options(vorpix_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(vorpix_options INTERFACE -fsanitize=address,undefined)
elseif(NOT VORPIX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VORPIX_SANITIZE must be address, thread, fuzzer or empty")
endif()

# vorpix_add_module(<name> SOURCES ... DEPENDS ...)
# One static library per module, with the alias vorpix::<name>; headers are
# included root-relative ("model/Project.h").
function(vorpix_add_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(vorpix_${name} STATIC ${ARG_SOURCES})
  add_library(vorpix::${name} ALIAS vorpix_${name})
  target_include_directories(vorpix_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(vorpix_${name} PUBLIC vorpix::options ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
endfunction()

# vorpix_add_test(<module> SOURCES ... [DEPENDS ...] [LABELS ...])
# One GoogleTest executable per module, linking only that module.
function(vorpix_add_test module)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;LABELS" ${ARGN})
  set(target ${module}_tests)
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE vorpix::${module} ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${target} PRIVATE VORPIX_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
  set(props "")
  if(ARG_LABELS)
    set(props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
