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

# The loopback HTTPS server of the emulators: OpenSSL and cpp-httplib, which
# Debian builds for Linux only as well.
if(MEASURE_BUILD_TESTS)
  if(WIN32)
    pkg_check_modules(OPENSSL QUIET IMPORTED_TARGET openssl)
    pkg_check_modules(HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
    if(OPENSSL_FOUND AND HTTPLIB_FOUND)
      set(MEASURE_WITH_HTTPS_SERVER ON)
    else()
      set(MEASURE_WITH_HTTPS_SERVER OFF)
      message(STATUS "No openssl and cpp-httplib for ${CMAKE_SYSTEM_NAME}: the HTTPS test server is left out of this build")
    endif()
  else()
    pkg_check_modules(OPENSSL REQUIRED IMPORTED_TARGET openssl)
    pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
    set(MEASURE_WITH_HTTPS_SERVER ON)
  endif()
endif()

# The files that need one of the parts above, relative to the project root.
# A build without the part leaves them out and builds its stand-ins instead:
# files that answer "not available in this build" through the same header,
# so that no caller needs a condition. With the part, the stand-ins are left
# out. measure_select_files() applies this to a list of source files.
set(MEASURE_OPTIONAL_PARTS)
function(measure_optional_files part)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "NEEDED_BY;STAND_INS")
  set(MEASURE_OPTIONAL_PARTS ${MEASURE_OPTIONAL_PARTS} ${part} PARENT_SCOPE)
  set(MEASURE_NEEDED_BY_${part} ${arg_NEEDED_BY} PARENT_SCOPE)
  set(MEASURE_STAND_INS_${part} ${arg_STAND_INS} PARENT_SCOPE)
endfunction()

# measure_select_files(<variable>): drops from the list of absolute paths in
# <variable> what this build cannot or need not compile.
function(measure_select_files variable)
  set(files ${${variable}})
  foreach(part IN LISTS MEASURE_OPTIONAL_PARTS)
    if(MEASURE_WITH_${part})
      set(drop ${MEASURE_STAND_INS_${part}})
    else()
      set(drop ${MEASURE_NEEDED_BY_${part}})
    endif()
    foreach(file IN LISTS drop)
      list(REMOVE_ITEM files ${PROJECT_SOURCE_DIR}/${file})
    endforeach()
  endforeach()
  set(${variable} ${files} PARENT_SCOPE)
endfunction()

# The simulation configuration is XML: without tinyxml2 an existing
# configuration refuses the open, and everything tested through one is left
# out (the simulator's own tests, measure-cli's measurements and demo).
measure_optional_files(TINYXML2
  NEEDED_BY src/drivers/simulator/simulation_config.cpp
            tests/drivers/simulator/simulation_config_test.cpp
            tests/drivers/simulator/simulator_test.cpp
            tests/cli/cli_measure_test.cpp
            tests/cli/cli_report_test.cpp
  STAND_INS src/drivers/simulator/simulation_config_unavailable.cpp
            tests/drivers/simulator/simulation_config_unavailable_test.cpp)
measure_optional_files(CURL NEEDED_BY src/transport/http_client.cpp tests/transport/http_client_test.cpp)
# Without the ICC engine reference charts have no display colours.
measure_optional_files(LCMS2
  NEEDED_BY src/color/pxicc.cpp tests/color/icc_display_test.cpp
  STAND_INS src/color/pxicc_unavailable.cpp tests/color/pxicc_unavailable_test.cpp)
# measure-cli's report shows measured colours through the same engine.
measure_optional_files(LCMS2_CLI
  NEEDED_BY tools/measure-cli/display_colour_lcms.cpp tests/cli/cli_report_test.cpp
  STAND_INS tools/measure-cli/display_colour_unavailable.cpp)
set(MEASURE_WITH_LCMS2_CLI ${MEASURE_WITH_LCMS2})
measure_optional_files(HTTPS_SERVER NEEDED_BY tests/transport/http_client_test.cpp
  tests/drivers/ricoh/ricoh_driver_test.cpp tests/drivers/ricoh/ricoh_faults_test.cpp tests/cli/cli_ricoh_test.cpp)
# The Ricoh adjuster speaks HTTPS with JSON replies and takes an XML chart
# definition: without all three libraries its open fails with one log line.
if(MEASURE_WITH_CURL AND MEASURE_WITH_JSONCPP AND MEASURE_WITH_TINYXML2)
  set(MEASURE_WITH_RICOH ON)
else()
  set(MEASURE_WITH_RICOH OFF)
endif()
measure_optional_files(RICOH
  NEEDED_BY src/drivers/ricoh/ricoh_driver.cpp src/drivers/ricoh/ricoh_protocol.cpp
            src/drivers/ricoh/ricoh_entries.cpp tests/drivers/ricoh/ricoh_protocol_test.cpp
            tests/drivers/ricoh/ricoh_driver_test.cpp tests/drivers/ricoh/ricoh_faults_test.cpp
            tests/cli/cli_ricoh_test.cpp
  STAND_INS src/drivers/ricoh/ricoh_unavailable.cpp tests/drivers/ricoh/ricoh_unavailable_test.cpp)

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
