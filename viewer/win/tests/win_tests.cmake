# The Windows tests, run under Wine by CTest through the session script as the cross-compiling
# emulator. Included from the project's top directory so that every test lives in one CTest file
# with absolute paths, which the main build's CTest includes as it is.

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(KVD_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build with the cross compiler")
add_subdirectory(${KVD_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(KVD_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(KVD_WINE_SESSION ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine_session.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KVD_WINE_SESSION} ${KVD_WINE_STATE} run)

add_executable(kvd_win_recorder WIN32 tests/recorder.cpp)
target_link_options(kvd_win_recorder PRIVATE ${KVD_STATIC_LINK} -municode)

# The session itself: a crashing program must end with a failure status, never pass or hang.
add_executable(kvd_win_crash tests/crash.cpp)
target_link_options(kvd_win_crash PRIVATE ${KVD_STATIC_LINK})
add_test(NAME win.crash_is_a_failure COMMAND kvd_win_crash WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(win.crash_is_a_failure PROPERTIES FIXTURES_REQUIRED kvd_wine TIMEOUT 60 WILL_FAIL TRUE)

function(kvd_win_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE kvd_win_window GTest::gtest_main)
  target_link_options(${name} PRIVATE ${KVD_STATIC_LINK})
  add_dependencies(${name} kvd kvd_win_recorder kvd_win_crash)
  add_test(NAME win.${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(
    win.${name} PROPERTIES FIXTURES_REQUIRED kvd_wine TIMEOUT 120
    ENVIRONMENT "KVD_WIN_EXE=$<TARGET_FILE:kvd>;KVD_WIN_CRASH=$<TARGET_FILE:kvd_win_crash>")
endfunction()

kvd_win_test(kvd_win_unit_tests tests/address_test.cpp tests/browser_mode_test.cpp tests/browser_events_test.cpp)
kvd_win_test(kvd_win_window_tests tests/window_test.cpp tests/wine_process.cpp)

# The wizard's own layers below its window, on the Win32 backend.
include(${KVD_SOURCE_ROOT}/tests/win_layers.cmake)

# One Wine session for the whole run: a server started by a test would hold that test's output open.
add_test(NAME win.wine_session_start COMMAND ${KVD_WINE_SESSION} ${KVD_WINE_STATE} start
                                             $<TARGET_FILE:kvd_win_recorder>)
add_test(NAME win.wine_session_stop COMMAND ${KVD_WINE_SESSION} ${KVD_WINE_STATE} stop)
set_tests_properties(win.wine_session_start PROPERTIES FIXTURES_SETUP kvd_wine TIMEOUT 120)
set_tests_properties(win.wine_session_stop PROPERTIES FIXTURES_CLEANUP kvd_wine)
