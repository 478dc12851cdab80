function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${PREFIX} ${WORK})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} --component Unspecified)
# A cross build builds the consumer with the same toolchain and runs it
# through the emulator.
set(cross)
set(suffix)
if(TOOLCHAIN)
  set(suffix .exe)
  # The toolchain confines searches to the target's root; name the package folder.
  file(GLOB config_dir ${PREFIX}/lib*/cmake/measure)
  set(cross -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -Dmeasure_DIR=${config_dir})
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_SRC} -B ${WORK} -G Ninja -DCMAKE_PREFIX_PATH=${PREFIX} ${cross})
run(${CMAKE_COMMAND} --build ${WORK})
if(TOOLCHAIN)
  # As a Windows host ships it: the DLL beside the program.
  file(GLOB dlls ${PREFIX}/bin/*.dll)
  file(COPY ${dlls} DESTINATION ${WORK})
endif()
run(${EMULATOR} ${WORK}/consumer${suffix})
if(NOT last_output MATCHES "SimulatorDevice")
  message(FATAL_ERROR "consumer printed: ${last_output}")
endif()

# pkg-config sees the same library.
file(GLOB pcdir ${PREFIX}/lib*/pkgconfig ${PREFIX}/lib/*/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "${pcdir}")
run(pkg-config --cflags --libs measure)
if(NOT last_output MATCHES "-lmeasure")
  message(FATAL_ERROR "pkg-config printed: ${last_output}")
endif()

# The installed measure-cli runs from wherever the prefix lands: it finds the
# library relative to itself, with no loader path set. The prefix is moved
# first, so that no path of the build or of the install can help.
set(moved ${WORK}/moved-prefix)
file(REMOVE_RECURSE ${moved})
file(COPY ${PREFIX}/ DESTINATION ${moved})
unset(ENV{LD_LIBRARY_PATH})
run(${EMULATOR} ${moved}/bin/measure-cli${suffix} list)
if(NOT last_output MATCHES "Simulator")
  message(FATAL_ERROR "installed measure-cli list printed: ${last_output}")
endif()
