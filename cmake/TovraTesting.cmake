# The shared folder beside the repository holds test decks that are not ours to ship.
set(TOVRA_SHARED_DIR "${CMAKE_SOURCE_DIR}/../shared" CACHE PATH "Folder with the shared test decks (decks/)")

# tovra_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [PROPERTIES prop value ...])
# One GoogleTest executable per source folder; tests are discovered when CTest runs,
# so discovery needs no display at build time.
function(tovra_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    TOVRA_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
    TOVRA_PROGRAM_DIR="${TOVRA_PROGRAM_DIR}"
    TOVRA_SHARED_DIR="${TOVRA_SHARED_DIR}")
  add_dependencies(${name} tovra_resources)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    # One variable only: discovery splits a list value into properties. scripts/run-tests sets
    # QTWEBENGINE_DISABLE_SANDBOX for every test.
    PROPERTIES ${T_PROPERTIES} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
