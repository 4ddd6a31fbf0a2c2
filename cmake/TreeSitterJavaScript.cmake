# The JavaScript grammar of tree-sitter, fetched from the npm registry at configure time into the build
# folder and checked against the registry's integrity hash; never part of the source tree. Its parser
# ABI (14) must be one Debian's libtree-sitter reads (0.20.7 reads 13 and 14; grammars from 0.25 on
# are made for 15). A copy already in the build folder with the right hash is not fetched again;
# KVD_TREE_SITTER_JAVASCRIPT_TARBALL names a local copy for a build without network.
set(KVD_TSJS_VERSION 0.23.1)
set(KVD_TSJS_SHA512
    fdb9e16eb4c3f5fad46074138989cf731c87391230d79ec44416ba76acda2b1bd1ff1dcf0b863377e0f5a5920c4baccd836bf76bc059d282bb8c7aac428f5f58)
set(KVD_TSJS_URL https://registry.npmjs.org/tree-sitter-javascript/-/tree-sitter-javascript-${KVD_TSJS_VERSION}.tgz)
set(KVD_TREE_SITTER_JAVASCRIPT_TARBALL "" CACHE FILEPATH "A local copy of ${KVD_TSJS_URL}")

set(kvd_tsjs_dir ${CMAKE_BINARY_DIR}/_deps/tree-sitter-javascript-${KVD_TSJS_VERSION})
set(kvd_tsjs_tarball ${kvd_tsjs_dir}.tgz)
if(KVD_TREE_SITTER_JAVASCRIPT_TARBALL)
  file(SHA512 ${KVD_TREE_SITTER_JAVASCRIPT_TARBALL} kvd_tsjs_local_hash)
  if(NOT kvd_tsjs_local_hash STREQUAL KVD_TSJS_SHA512)
    message(FATAL_ERROR "${KVD_TREE_SITTER_JAVASCRIPT_TARBALL} is not tree-sitter-javascript ${KVD_TSJS_VERSION}: its SHA-512 differs")
  endif()
  configure_file(${KVD_TREE_SITTER_JAVASCRIPT_TARBALL} ${kvd_tsjs_tarball} COPYONLY)
else()
  set(kvd_tsjs_have_hash "")
  if(EXISTS ${kvd_tsjs_tarball})
    file(SHA512 ${kvd_tsjs_tarball} kvd_tsjs_have_hash)
  endif()
  if(NOT kvd_tsjs_have_hash STREQUAL KVD_TSJS_SHA512)
    # The pinned SHA-512 is what vouches for the bytes. Where the certificate store does not know the
    # authority that answers for the registry (a network's own proxy in between), the tarball is asked
    # for once more without the certificate check, and what arrives is kept only when its hash is the
    # pinned one.
    set(kvd_tsjs_part ${kvd_tsjs_tarball}.part)
    foreach(kvd_tsjs_verify ON OFF)
      file(DOWNLOAD ${KVD_TSJS_URL} ${kvd_tsjs_part} TLS_VERIFY ${kvd_tsjs_verify} STATUS kvd_tsjs_status)
      list(GET kvd_tsjs_status 0 kvd_tsjs_code)
      list(GET kvd_tsjs_status 1 kvd_tsjs_message)
      # curl's codes for a certificate that cannot be vouched for: 51, 58, 60, 77, 83.
      if(kvd_tsjs_code EQUAL 0 OR NOT kvd_tsjs_code MATCHES "^(51|58|60|77|83)$")
        break()
      endif()
      message(STATUS "The registry's certificate could not be checked (${kvd_tsjs_message}); "
                     "fetching again, to be judged by the pinned SHA-512 alone")
    endforeach()
    if(NOT kvd_tsjs_code EQUAL 0)
      file(REMOVE ${kvd_tsjs_part})
      message(FATAL_ERROR "Fetching ${KVD_TSJS_URL} failed: ${kvd_tsjs_message}; "
                          "set KVD_TREE_SITTER_JAVASCRIPT_TARBALL to a local copy")
    endif()
    file(SHA512 ${kvd_tsjs_part} kvd_tsjs_got_hash)
    if(NOT kvd_tsjs_got_hash STREQUAL KVD_TSJS_SHA512)
      file(REMOVE ${kvd_tsjs_part})
      message(FATAL_ERROR "${KVD_TSJS_URL} did not give tree-sitter-javascript ${KVD_TSJS_VERSION}: "
                          "its SHA-512 is not the pinned one")
    endif()
    file(RENAME ${kvd_tsjs_part} ${kvd_tsjs_tarball})
  endif()
endif()
if(NOT EXISTS ${kvd_tsjs_dir}/src/parser.c)
  file(REMOVE_RECURSE ${kvd_tsjs_dir} ${kvd_tsjs_dir}.unpack)
  file(ARCHIVE_EXTRACT INPUT ${kvd_tsjs_tarball} DESTINATION ${kvd_tsjs_dir}.unpack PATTERNS package/src package/LICENSE)
  file(RENAME ${kvd_tsjs_dir}.unpack/package ${kvd_tsjs_dir})
  file(REMOVE_RECURSE ${kvd_tsjs_dir}.unpack)
endif()

# Debian's tree-sitter.pc carries no release number worth comparing (0.20.7 says 0.6.3): the parser ABI
# the library reads is what counts.
pkg_check_modules(TREE_SITTER REQUIRED IMPORTED_TARGET tree-sitter)
find_file(kvd_ts_api_h tree_sitter/api.h HINTS ${TREE_SITTER_INCLUDE_DIRS} REQUIRED NO_CACHE)
file(STRINGS ${kvd_ts_api_h} kvd_ts_abi_lines REGEX "#define TREE_SITTER_(MIN_COMPATIBLE_)?LANGUAGE_VERSION ")
string(REGEX MATCH "TREE_SITTER_LANGUAGE_VERSION ([0-9]+)" _ "${kvd_ts_abi_lines}")
set(kvd_ts_abi_max ${CMAKE_MATCH_1})
string(REGEX MATCH "TREE_SITTER_MIN_COMPATIBLE_LANGUAGE_VERSION ([0-9]+)" _ "${kvd_ts_abi_lines}")
set(kvd_ts_abi_min ${CMAKE_MATCH_1})
file(STRINGS ${kvd_tsjs_dir}/src/parser.c kvd_tsjs_abi_line REGEX "^#define LANGUAGE_VERSION " LIMIT_COUNT 1)
string(REGEX MATCH "[0-9]+" kvd_tsjs_abi "${kvd_tsjs_abi_line}")
if(kvd_tsjs_abi LESS kvd_ts_abi_min OR kvd_tsjs_abi GREATER kvd_ts_abi_max)
  message(FATAL_ERROR "tree-sitter-javascript ${KVD_TSJS_VERSION} is made for parser ABI ${kvd_tsjs_abi}; "
                      "the installed tree-sitter reads ${kvd_ts_abi_min} to ${kvd_ts_abi_max}")
endif()

# Generated code of its makers: built as it comes, its warnings are not ours to mend.
add_library(kvd_tree_sitter_javascript STATIC ${kvd_tsjs_dir}/src/parser.c ${kvd_tsjs_dir}/src/scanner.c)
target_include_directories(kvd_tree_sitter_javascript PRIVATE ${kvd_tsjs_dir}/src)
# Its lexer is one large generated function that runs some ten times slower unoptimised.
target_compile_options(kvd_tree_sitter_javascript PRIVATE -w -O2)
set_target_properties(kvd_tree_sitter_javascript PROPERTIES C_STANDARD 11 POSITION_INDEPENDENT_CODE ON)
target_link_libraries(kvd_tree_sitter_javascript PUBLIC PkgConfig::TREE_SITTER)

# The grammar's licence asks that its notice go with every copy: the package's copyright file gets a
# stanza made from the LICENSE of the very tarball that was built in.
file(READ ${kvd_tsjs_dir}/LICENSE kvd_tsjs_license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${kvd_tsjs_license}")
set(kvd_tsjs_holder "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^[^\n]*MIT License[^\n]*\n+" "" kvd_tsjs_terms "${kvd_tsjs_license}")
string(STRIP "${kvd_tsjs_terms}" kvd_tsjs_terms)
string(REGEX REPLACE "\n\n+" "\n.\n" kvd_tsjs_terms "${kvd_tsjs_terms}")
string(REPLACE "\n" "\n " kvd_tsjs_terms "${kvd_tsjs_terms}")
set_property(GLOBAL PROPERTY KVD_TSJS_COPYRIGHT_STANZA
    "Files: tree-sitter-javascript\nCopyright: ${kvd_tsjs_holder}\nComment: The JavaScript grammar of tree-sitter, version ${KVD_TSJS_VERSION} from the npm registry, built into\n kvd_cd and kvd_gen, whose disc check reads the pages' scripts with it.\nLicense: Expat\n ${kvd_tsjs_terms}\n")
