# One static library per layer of src/, and a link check per layer.
#
#   fennick_layer(NAME DIR [DEPS target...])
#
# builds fennick_NAME from DIR's sources (recursively), linking DEPS (other
# layers by their short names, or imported targets). What keeps a layer from reaching upward is its
# link check: a program that links the layer's whole archive against its
# declared dependencies only, so that a symbol of a higher layer is an
# undefined reference at build time, not a review comment.
#
# The component as programs use it is the `fennick` target (CMakeLists.txt);
# Every layer compiles against src/ privately, so programs linking the
# component see include/ alone.
set(FENNICK_LAYER_TARGETS "" CACHE INTERNAL "")

set(FENNICK_LAYER_CHECK_MAIN ${CMAKE_BINARY_DIR}/layer_check_main.cc)
if(NOT EXISTS ${FENNICK_LAYER_CHECK_MAIN})
  file(WRITE ${FENNICK_LAYER_CHECK_MAIN} "int main() { return 0; }\n")
endif()

function(fennick_layer name dir)
  cmake_parse_arguments(LAYER "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cc)
  set(target fennick_${name})
  add_library(${target} STATIC ${sources})
  # src/ is each layer's own (PRIVATE), so that a program linking the
  # component sees include/ alone.
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/include
    PRIVATE ${CMAKE_SOURCE_DIR}/src)
  set(deps "")
  foreach(dep ${LAYER_DEPS})
    if(TARGET fennick_${dep})
      list(APPEND deps fennick_${dep})
    else()
      list(APPEND deps ${dep})
    endif()
  endforeach()
  target_link_libraries(${target} PUBLIC ${deps})
  set(FENNICK_LAYER_TARGETS ${FENNICK_LAYER_TARGETS} ${target} CACHE INTERNAL "")

  # The link check: every object of this layer, its declared dependencies,
  # nothing else. Built with the rest, so `make build` fails on a reach
  # upward.
  add_executable(${target}_link_check ${FENNICK_LAYER_CHECK_MAIN})
  target_link_libraries(${target}_link_check PRIVATE
    "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}>" ${deps})
  set_target_properties(${target}_link_check PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layer_checks)
endfunction()
