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

# A downloaded file that must match its pinned hash: fetched into PH_DEPS_DIR by the command
# when missing, removed when it does not match.
function(ph_fetch_pinned file algorithm hash)
  if(NOT EXISTS ${file})
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${PH_DEPS_DIR} RESULT_VARIABLE fetch_result)
    if(NOT fetch_result EQUAL 0 OR NOT EXISTS ${file})
      message(FATAL_ERROR "\"${ARGN}\" failed (${fetch_result}); run scripts/setup.sh")
    endif()
  endif()
  file(${algorithm} ${file} actual_hash)
  if(NOT actual_hash STREQUAL hash)
    file(REMOVE ${file})
    message(FATAL_ERROR "${file} does not match its pinned ${algorithm}; removed it")
  endif()
endfunction()

# minizip 1.1 as shipped inside the npm package node-minizip@0.3.0, pinned by its hash.
set(MINIZIP_PACKAGE node-minizip@0.3.0)
set(MINIZIP_TGZ ${PH_DEPS_DIR}/node-minizip-0.3.0.tgz)
set(MINIZIP_SHA512 7807cbe5e7cd237bdb3523acf6f744c512a38524eee48ed802a296598444d3181396c7873751f1f37ff9e4262d3aefca1f34df16ff97efb23c420d08e7b347cf)
set(MINIZIP_SRC ${PH_DEPS_DIR}/node-minizip/package/deps/zlib/contrib/minizip)

if(NOT EXISTS ${MINIZIP_SRC}/unzip.c)
  ph_fetch_pinned(${MINIZIP_TGZ} SHA512 ${MINIZIP_SHA512}
                  npm pack ${MINIZIP_PACKAGE} --silent --pack-destination ${PH_DEPS_DIR})
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

# libjpeg-turbo 2.1.5 from Debian's source package (bookworm), pinned by the SHA-256 of its
# upstream tarball. Only the static TurboJPEG library is built, always optimised, for the
# processor this build targets (nasm's win32 or win64 format follows it), and its SIMD code must
# be there: without it a decode costs about three times as much.
set(JPEG_TURBO_PACKAGE libjpeg-turbo=1:2.1.5-2)
set(JPEG_TURBO_TGZ ${PH_DEPS_DIR}/libjpeg-turbo_2.1.5.orig.tar.gz)
set(JPEG_TURBO_SHA256 254f3642b04e309fee775123133c6464181addc150499561020312ec61c1bf7c)

ph_fetch_pinned(${JPEG_TURBO_TGZ} SHA256 ${JPEG_TURBO_SHA256} apt-get source --download-only -qq ${JPEG_TURBO_PACKAGE})

include(ExternalProject)
set(JPEG_TURBO_DIR ${PH_DEPS_DIR}/libjpeg-turbo)
set(JPEG_TURBO_LIB ${JPEG_TURBO_DIR}/install/lib/libturbojpeg.a)
ExternalProject_Add(libjpeg_turbo_build
  URL ${JPEG_TURBO_TGZ}
  URL_HASH SHA256=${JPEG_TURBO_SHA256}
  PREFIX ${JPEG_TURBO_DIR}
  INSTALL_DIR ${JPEG_TURBO_DIR}/install
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-${CMAKE_SYSTEM_PROCESSOR}-mingw.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -DCMAKE_ASM_NASM_COMPILER=nasm
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF
    -DWITH_SIMD=ON -DREQUIRE_SIMD=ON
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target turbojpeg-static
  INSTALL_COMMAND
    ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libturbojpeg.a <INSTALL_DIR>/lib/libturbojpeg.a
    COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/turbojpeg.h <INSTALL_DIR>/include/turbojpeg.h
  BUILD_BYPRODUCTS ${JPEG_TURBO_LIB}
  DOWNLOAD_EXTRACT_TIMESTAMP ON)
file(MAKE_DIRECTORY ${JPEG_TURBO_DIR}/install/include ${JPEG_TURBO_DIR}/install/lib)
add_library(turbojpeg_static STATIC IMPORTED GLOBAL)
set_target_properties(turbojpeg_static PROPERTIES
  IMPORTED_LOCATION ${JPEG_TURBO_LIB}
  INTERFACE_INCLUDE_DIRECTORIES ${JPEG_TURBO_DIR}/install/include)
add_dependencies(turbojpeg_static libjpeg_turbo_build)

# GoogleTest and GoogleMock, built by the cross compiler from Debian's sources.
if(PH_BUILD_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PH_DEPS_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
