# One static library per source folder; every .cpp in the folder belongs to it,
# so adding a file needs no edit here.
function(sendrix_layer name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(sendrix_${name} STATIC ${sources})
    target_include_directories(sendrix_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(sendrix_${name} PUBLIC ${ARGN})
  else()
    add_library(sendrix_${name} INTERFACE)
    target_include_directories(sendrix_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(sendrix_${name} INTERFACE ${ARGN})
  endif()
endfunction()
