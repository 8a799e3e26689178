# qm_subsystem(NAME CORE files... CORE_LIBS libs... GUI_LIBS libs... APART files...)
#
# Makes two libraries from the .cpp files of the calling folder: qm_NAME_core from
# the files listed under CORE (they must link no Qt Widgets, so that the command-line
# report and the tests run without a display) and qm_NAME_gui from all the others
# but those listed under APART, which the folder builds into a library of their own.
# A library without sources becomes an interface library, so the targets always exist.
function(qm_subsystem name)
  cmake_parse_arguments(A "" "" "CORE;CORE_LIBS;GUI_LIBS;APART" ${ARGN})
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(core_sources)
  foreach(f IN LISTS A_CORE)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${f})
      list(APPEND core_sources ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    endif()
  endforeach()
  set(gui_sources ${all_sources})
  if(core_sources)
    list(REMOVE_ITEM gui_sources ${core_sources})
  endif()
  foreach(f IN LISTS A_APART)
    list(REMOVE_ITEM gui_sources ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  qm_library(qm_${name}_core "${core_sources}" "${A_CORE_LIBS}")
  qm_library(qm_${name}_gui "${gui_sources}" "qm_${name}_core;${A_GUI_LIBS}")
endfunction()

function(qm_library target sources libs)
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${libs})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${libs})
  endif()
endfunction()
