find_package(GTest REQUIRED)
include(GoogleTest)

# sievetext_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS label])
# Builds one GoogleTest executable and registers its tests with ctest.
function(sievetext_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  # One label only: test discovery flattens a list into separate arguments.
  list(LENGTH T_LABELS label_count)
  if(label_count GREATER 1)
    message(FATAL_ERROR "sievetext_add_test(${T_NAME}): give one label, not ${T_LABELS}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${T_LABELS}")
endfunction()
