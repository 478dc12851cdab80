# Installed system libraries; nothing is vendored.
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)

# The libraries the drivers and colour code build on, on both systems. Debian
# builds them for Linux only; for Windows, cmake/windows-deps cross-builds
# them from Debian's source packages as static libraries into one prefix,
# which mingw's pkg-config searches here, so that measure.dll carries them.
if(WIN32)
  set(MEASURE_WINDOWS_DEPS ${PROJECT_SOURCE_DIR}/build/windows-deps/prefix
      CACHE PATH "Prefix of the libraries cross-built by cmake/windows-deps")
  list(APPEND CMAKE_PREFIX_PATH ${MEASURE_WINDOWS_DEPS})
  # pkg-config names the libraries by their paths inside the prefix, which
  # the toolchain's search must accept as a root of its own.
  list(APPEND CMAKE_FIND_ROOT_PATH ${MEASURE_WINDOWS_DEPS})
endif()
set(MEASURE_EXTERNAL_TARGETS)
foreach(entry IN ITEMS "JSONCPP|jsoncpp" "TINYXML2|tinyxml2" "CURL|libcurl" "LCMS2|lcms2")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 module)
  pkg_check_modules(${name} IMPORTED_TARGET ${module})
  if(NOT ${name}_FOUND)
    if(WIN32)
      message(FATAL_ERROR "no ${module} for Windows in ${MEASURE_WINDOWS_DEPS}: run cmake/windows-deps first")
    endif()
    message(FATAL_ERROR "no ${module} found (Debian: ./dev installs its development package)")
  endif()
  list(APPEND MEASURE_EXTERNAL_TARGETS PkgConfig::${name})
endforeach()

# The loopback HTTPS server of the emulators and of the HTTP client tests:
# OpenSSL and cpp-httplib, built for Linux only. The Windows tests reach the
# Linux test server that ./dev starts (tests/wine/https_test_server.cpp).
if(MEASURE_BUILD_TESTS AND NOT WIN32)
  pkg_check_modules(OPENSSL REQUIRED IMPORTED_TARGET openssl)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
endif()

if(NOT WIN32)
  pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
  pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
endif()

if(MEASURE_BUILD_TESTS)
  if(CMAKE_CROSSCOMPILING)
    # No GoogleTest binaries exist for the target; Debian's googletest
    # package ships the sources, built here with the target compiler.
    find_path(MEASURE_GOOGLETEST_SOURCE CMakeLists.txt PATHS /usr/src/googletest NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH)
    if(NOT MEASURE_GOOGLETEST_SOURCE)
      message(FATAL_ERROR "the cross build needs GoogleTest's sources (Debian package googletest)")
    endif()
    add_subdirectory(cmake/googletest)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
