# One library per source folder: every source of the folder goes in, so adding a
# file never means editing a list. Core libraries are plain C++: no moc for them.
function(zephyrim_library name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/src/${dir}/*.h)
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF)
  if(ARGN)
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
endfunction()

# A library of the desktop side, whose QObject classes go through moc.
function(zephyrim_qt_library name dir)
  zephyrim_library(${name} ${dir} ${ARGN})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
endfunction()
