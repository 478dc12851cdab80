# measure_add_subfolders(): adds every folder beside the calling
# CMakeLists.txt that brings a CMakeLists.txt of its own, so that a new
# emulator or test folder needs no edit in its parent.
function(measure_add_subfolders)
  file(GLOB entries LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir IN LISTS entries)
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
