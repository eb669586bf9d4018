# Third-party pieces reach the cross compiler only through folders inside the build tree,
# so no Linux system header can leak into a Windows binary.

set(PH_DEPS_DIR ${CMAKE_BINARY_DIR}/_deps)
file(MAKE_DIRECTORY ${PH_DEPS_DIR})

# Header-only libraries: a folder that holds nothing but a link to the one library.
function(ph_header_link target_name link_name source)
  set(dir ${PH_DEPS_DIR}/${target_name}-include)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "${source} is missing; run scripts/setup.sh")
  endif()
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${source} ${dir}/${link_name} SYMBOLIC)
  add_library(${target_name} INTERFACE)
  target_include_directories(${target_name} SYSTEM INTERFACE ${dir})
endfunction()

ph_header_link(boost_headers boost /usr/include/boost)
ph_header_link(json_headers nlohmann /usr/include/nlohmann)

# zlib: the static mingw build from libz-mingw-w64-dev.
find_library(MINGW_ZLIB NAMES libz.a z REQUIRED)
add_library(zlib_static INTERFACE)
target_link_libraries(zlib_static INTERFACE ${MINGW_ZLIB})

# minizip 1.1 as shipped inside the npm package node-minizip@0.3.0, pinned by its hash.
set(MINIZIP_PACKAGE node-minizip@0.3.0)
set(MINIZIP_TGZ ${PH_DEPS_DIR}/node-minizip-0.3.0.tgz)
set(MINIZIP_SHA512 7807cbe5e7cd237bdb3523acf6f744c512a38524eee48ed802a296598444d3181396c7873751f1f37ff9e4262d3aefca1f34df16ff97efb23c420d08e7b347cf)
set(MINIZIP_SRC ${PH_DEPS_DIR}/node-minizip/package/deps/zlib/contrib/minizip)

if(NOT EXISTS ${MINIZIP_SRC}/unzip.c)
  if(NOT EXISTS ${MINIZIP_TGZ})
    execute_process(
      COMMAND npm pack ${MINIZIP_PACKAGE} --silent --pack-destination ${PH_DEPS_DIR}
      WORKING_DIRECTORY ${PH_DEPS_DIR}
      RESULT_VARIABLE npm_result)
    if(NOT npm_result EQUAL 0)
      message(FATAL_ERROR "npm pack ${MINIZIP_PACKAGE} failed (${npm_result})")
    endif()
  endif()
  file(SHA512 ${MINIZIP_TGZ} actual_sha512)
  if(NOT actual_sha512 STREQUAL MINIZIP_SHA512)
    file(REMOVE ${MINIZIP_TGZ})
    message(FATAL_ERROR "${MINIZIP_TGZ} does not match its pinned SHA-512; removed it")
  endif()
  file(ARCHIVE_EXTRACT INPUT ${MINIZIP_TGZ} DESTINATION ${PH_DEPS_DIR}/node-minizip
       PATTERNS package/deps/zlib/contrib/minizip)
endif()

# This copy of minizip reaches zlib as "../../zlib.h", the zlib bundled beside it, which we do
# not build. A forwarding header in that place hands it the mingw zlib instead.
file(WRITE ${MINIZIP_SRC}/../../zlib.h "#include <zlib.h>\n")

# Third-party C: compiled as it is, without our warnings.
add_library(minizip STATIC ${MINIZIP_SRC}/unzip.c ${MINIZIP_SRC}/ioapi.c)
target_include_directories(minizip SYSTEM PUBLIC ${MINIZIP_SRC})
target_link_libraries(minizip PUBLIC zlib_static)
target_compile_options(minizip PRIVATE -w)

# The writer half, only for tests that make zip fixtures.
add_library(minizip_writer STATIC ${MINIZIP_SRC}/zip.c)
target_link_libraries(minizip_writer PUBLIC minizip)
target_compile_options(minizip_writer PRIVATE -w)

# GoogleTest and GoogleMock, built by the cross compiler from Debian's sources.
if(PH_BUILD_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PH_DEPS_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
