# The platform and runtime tests on the Win32 backend, run under Wine with the Windows viewer's
# tests: the native run's own sources, GoogleTest's own main (no Qt here), and the manifest that
# makes UTF-8 the process's code page, as in every program of that backend.
set(KVD_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})
add_library(kvd_win_test_support STATIC ${KVD_TESTS_DIR}/support/temp_dir.cpp)
target_include_directories(kvd_win_test_support PUBLIC ${KVD_TESTS_DIR})
target_link_libraries(kvd_win_test_support PUBLIC GTest::gtest)

function(kvd_win_layer_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${KVD_SOURCE_ROOT}/src/platform/win32/utf8.rc)
  target_link_libraries(${name} PRIVATE ${T_LIBS} kvd_win_test_support GTest::gtest_main)
  target_link_options(${name} PRIVATE ${KVD_STATIC_LINK})
  add_dependencies(${name} kvd_win_recorder)
  add_test(NAME win.${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(win.${name} PROPERTIES FIXTURES_REQUIRED kvd_wine TIMEOUT 120
                       ENVIRONMENT "KVD_WIN_RECORDER=$<TARGET_FILE:kvd_win_recorder>")
endfunction()
set_source_files_properties(${KVD_SOURCE_ROOT}/src/platform/win32/utf8.rc PROPERTIES
                            OBJECT_DEPENDS ${KVD_SOURCE_ROOT}/src/platform/win32/utf8.manifest)

kvd_win_layer_test(platform_win_tests
  SOURCES ${KVD_TESTS_DIR}/platform/namespace_test.cpp ${KVD_TESTS_DIR}/platform/names_test.cpp
          ${KVD_TESTS_DIR}/platform/win32_test.cpp
  LIBS kvd_platform)

kvd_win_layer_test(runtime_win_tests
  SOURCES ${KVD_TESTS_DIR}/runtime/conversion_test.cpp ${KVD_TESTS_DIR}/runtime/text_file_read_test.cpp
          ${KVD_TESTS_DIR}/runtime/text_file_write_test.cpp ${KVD_TESTS_DIR}/runtime/file_services_test.cpp
  LIBS kvd_runtime)
