# orvelle_glob(VAR dir...) collects the C/C++ sources below the given folders,
# re-globbing at build time so that new files are picked up without editing
# the build files.
function(orvelle_glob out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
      ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.c)
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# orvelle_library(NAME dir... ) with an empty-safe source list.
function(orvelle_static_library name)
  cmake_parse_arguments(A "QT" "" "DIRS;EXCLUDE;LINK" ${ARGN})
  orvelle_glob(srcs ${A_DIRS})
  foreach(pattern IN LISTS A_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${pattern}")
  endforeach()
  file(GLOB placeholder ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  if(NOT srcs)
    set(srcs ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  if(A_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTORCC ON AUTOUIC ON)
  endif()
  if(A_LINK)
    target_link_libraries(${name} PUBLIC ${A_LINK})
  endif()
endfunction()
