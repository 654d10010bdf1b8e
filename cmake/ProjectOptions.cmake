# ProjectOptions.cmake - warnings, sanitizers and fuzzing switches shared by every target.
option(QUILLORA_BUILD_TESTS "Build the tests and the fuzz-corpus replays" ON)
option(QUILLORA_BUILD_BENCH "Build the benchmarks" OFF)
option(QUILLORA_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QUILLORA_FUZZ "Build the fuzz targets as libFuzzer programs (needs clang)" OFF)
# Off by default so that a user's build does not fail on a newer or older compiler's warnings;
# ./dev and CI turn it on.
option(QUILLORA_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)

add_compile_options(-Wall -Wextra)
if(QUILLORA_WARNINGS_AS_ERRORS)
  add_compile_options(-Werror)
endif()
add_compile_options(-Wno-missing-field-initializers)

if(QUILLORA_SANITIZE OR QUILLORA_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(QUILLORA_FUZZ)
  # Coverage feedback comes from every library a target reaches, not only the target's own file.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# A fuzz target is a libFuzzer program when fuzzing, and otherwise a test that replays
# the committed seed corpus, so every ctest run exercises the seeds.
function(quillora_fuzz_target name)
  cmake_parse_arguments(FT "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(QUILLORA_FUZZ)
    add_executable(${name} ${FT_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${FT_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cc)
  endif()
  target_link_libraries(${name} PRIVATE ${FT_LIBS})
  if(QUILLORA_FUZZ)
    add_test(NAME ${name}_replay COMMAND ${name} -runs=0 ${FT_CORPUS})
  else()
    add_test(NAME ${name}_replay COMMAND ${name} ${FT_CORPUS})
  endif()
endfunction()
