# The Windows viewer in the main build: a cross build of its own (the host compiler cannot make it),
# whose kvd.exe lands in the wizard folder, the program every disc carries. Its tests join the
# main build's CTest run.
include(ExternalProject)

find_program(KVD_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(NOT KVD_MINGW_CXX)
  message(FATAL_ERROR "The Windows viewer needs g++-mingw-w64-x86-64-posix: run scripts/setup.sh")
endif()

set(KVD_WIN_BINARY_DIR ${CMAKE_BINARY_DIR}/win)
set(KVD_WIN_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
                 -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DKVD_WIN_TESTS=${KVD_BUILD_TESTS})
foreach(lang C CXX)
  if(CMAKE_${lang}_COMPILER_LAUNCHER)
    list(APPEND KVD_WIN_ARGS -DCMAKE_${lang}_COMPILER_LAUNCHER=${CMAKE_${lang}_COMPILER_LAUNCHER})
  endif()
endforeach()

ExternalProject_Add(
  kvd_windows_viewer
  SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
  BINARY_DIR ${KVD_WIN_BINARY_DIR}
  CMAKE_ARGS ${KVD_WIN_ARGS}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel 2
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_if_different <BINARY_DIR>/kvd.exe ${KVD_WIZARD_DIR}/kvd.exe
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${KVD_WIN_BINARY_DIR}/kvd.exe ${KVD_WIZARD_DIR}/kvd.exe)

if(KVD_BUILD_TESTS)
  # The cross build's CTest file names every test with absolute paths, so the main one includes it
  # as it is; before the first build there is nothing to include, and a test says so.
  set(KVD_WIN_TEST_INCLUDE ${CMAKE_BINARY_DIR}/kvd_win_tests.cmake)
  file(WRITE ${KVD_WIN_TEST_INCLUDE}
       "if(EXISTS \"${KVD_WIN_BINARY_DIR}/CTestTestfile.cmake\")\n"
       "  include(\"${KVD_WIN_BINARY_DIR}/CTestTestfile.cmake\")\n"
       "else()\n"
       "  add_test(win.not_built \"${CMAKE_COMMAND}\" -E false)\n"
       "endif()\n")
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES ${KVD_WIN_TEST_INCLUDE})
endif()
