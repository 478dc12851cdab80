# Installed system libraries; nothing is vendored.
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)

# The libraries the drivers and colour code build on. Debian builds them for
# Linux only, so the Windows cross build takes each one that mingw's
# pkg-config finds and otherwise leaves out the parts that need it
# (MEASURE_WITH_<NAME>=OFF); a Linux build requires them all.
set(MEASURE_EXTERNAL_TARGETS)
foreach(entry IN ITEMS "JSONCPP|jsoncpp|JSON texts" "TINYXML2|tinyxml2|XML files"
                       "CURL|libcurl|HTTP and HTTPS transfers" "LCMS2|lcms2|ICC transforms")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 module)
  list(GET entry 2 purpose)
  if(WIN32)
    pkg_check_modules(${name} QUIET IMPORTED_TARGET ${module})
    option(MEASURE_WITH_${name} "Build the parts that need ${module} (${purpose})" ${${name}_FOUND})
    if(MEASURE_WITH_${name} AND NOT ${name}_FOUND)
      message(FATAL_ERROR "MEASURE_WITH_${name} is ON but no ${module} for ${CMAKE_SYSTEM_NAME} was found")
    elseif(NOT MEASURE_WITH_${name})
      message(STATUS "No ${module} for ${CMAKE_SYSTEM_NAME}: the ${purpose} it serves are left out of this build")
    endif()
  else()
    pkg_check_modules(${name} REQUIRED IMPORTED_TARGET ${module})
    set(MEASURE_WITH_${name} ON)
  endif()
  if(MEASURE_WITH_${name})
    list(APPEND MEASURE_EXTERNAL_TARGETS PkgConfig::${name})
  endif()
endforeach()

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
