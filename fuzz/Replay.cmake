# The fuzz target bodies built by the normal compiler into fuzz_replay, and
# one test per target that replays its committed seed corpus and every
# regression input (fuzz/corpus/<target>, fuzz/regressions/<target>).
set(FS_FUZZ_DIR ${CMAKE_SOURCE_DIR}/fuzz)
file(GLOB FS_FUZZ_REPLAY_SOURCES CONFIGURE_DEPENDS ${FS_FUZZ_DIR}/targets/*.cpp)
add_executable(fuzz_replay ${FS_FUZZ_DIR}/replay_main.cpp ${FS_FUZZ_REPLAY_SOURCES})
set_target_properties(fuzz_replay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
target_include_directories(fuzz_replay PRIVATE ${FS_FUZZ_DIR} ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(fuzz_replay PRIVATE FS_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(fuzz_replay PRIVATE fssim fscore)
foreach(name text_table profile sealed_report load_check nibble_read scanf_readers)
  # With a home of its own, as every test (FS_OWN_HOME, tests/CMakeLists.txt).
  add_test(NAME fuzz.replay.${name}
    COMMAND ${FS_OWN_HOME} $<TARGET_FILE:fuzz_replay> ${name} ${FS_FUZZ_DIR}/corpus/${name} ${FS_FUZZ_DIR}/regressions/${name})
  set_tests_properties(fuzz.replay.${name} PROPERTIES TIMEOUT 300 ENVIRONMENT "FS_UNDER_CTEST=1")
endforeach()
