# The layers of the sources, enforced by the build.
#
# A layer's headers are reached only through a folder of its own in the build
# tree, layers/<layer>/, which holds a link to each of the layer's source
# folders. A target is given the folders of the layers it links to and of
# no other, so an include of a layer above (or beside) does not compile: the
# header is simply not there. And every layer library is linked on its own,
# all of its objects, against the layers below it only
# (enpanel_links_alone_<layer>), so a call upward does not link either.

# enpanel_layer_view(NAME FOLDER...): the interface target NAME_headers,
# which gives the layer's folder of links to whatever links to it.
function(enpanel_layer_view name)
  set(view ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${view})
  foreach(folder IN LISTS ARGN)
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${view}/${folder} SYMBOLIC)
  endforeach()
  add_library(${name}_headers INTERFACE)
  target_include_directories(${name}_headers INTERFACE ${view})
endfunction()

# enpanel_relative_includes(SOURCE...): part of every build, fails it when a
# source includes a header by a path that climbs out of its own folder
# (relative_includes.cmake), which the layers' folders of links cannot stop.
function(enpanel_relative_includes)
  set(stamp ${CMAKE_BINARY_DIR}/layers/relative_includes.stamp)
  set(list ${CMAKE_BINARY_DIR}/layers/sources.txt)
  file(WRITE ${list} "${ARGN}")
  add_custom_command(OUTPUT ${stamp}
                     COMMAND ${CMAKE_COMMAND} -DFILES_IN=${list} -DSTAMP=${stamp}
                             -P ${CMAKE_SOURCE_DIR}/cmake/relative_includes.cmake
                     DEPENDS ${ARGN} ${CMAKE_SOURCE_DIR}/cmake/relative_includes.cmake
                     COMMENT "Includes by relative paths")
  add_custom_target(enpanel_relative_includes ALL DEPENDS ${stamp})
endfunction()

# enpanel_relative_include_probe(): a test that an include of another
# layer's header by a relative path is refused.
function(enpanel_relative_include_probe)
  set(source ${CMAKE_BINARY_DIR}/layers/probes/relative_include.cc)
  file(WRITE ${source} "#include \"../page/options_handler.h\"\n")
  add_test(NAME layers.relative_include_refused
           COMMAND ${CMAKE_COMMAND} -DFILES=${source}
                   -P ${CMAKE_SOURCE_DIR}/cmake/relative_includes.cmake)
  set_tests_properties(layers.relative_include_refused PROPERTIES
                       PASS_REGULAR_EXPRESSION
                       "leaves its layer by a relative path:.*relative_include.cc: #include \"\\.\\./page")
endfunction()

# enpanel_links_alone(LAYER): an executable made of every object of LAYER and
# the layers it links to, and nothing else; part of every build.
function(enpanel_links_alone layer)
  if(ENPANEL_FUZZ)
    return()
  endif()
  add_executable(enpanel_links_alone_${layer} ${CMAKE_SOURCE_DIR}/cmake/links_alone.cc)
  target_link_libraries(enpanel_links_alone_${layer} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${layer}>")
endfunction()

# enpanel_include_probe(HEADER LAYER...): for each LAYER, a test that a
# source including HEADER does not compile with that layer's view (the
# compiler must say it cannot find HEADER, nothing else), and one test that
# it does compile with the view of HEADER's own layer, OWN.
function(enpanel_include_probe own header)
  string(MAKE_C_IDENTIFIER "${header}" id)
  set(source ${CMAKE_BINARY_DIR}/layers/probes/${id}.cc)
  file(WRITE ${source} "#include \"${header}\"\n")
  set(layers ${own} ${ARGN})
  foreach(layer IN LISTS layers)
    set(probe probe_${layer}_${id})
    add_library(${probe} OBJECT EXCLUDE_FROM_ALL ${source})
    target_link_libraries(${probe} PRIVATE ${layer}_headers)
    add_test(NAME layers.${layer}_includes_${id}
             COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target ${probe})
    # The probes share the build tree: one at a time.
    set_tests_properties(layers.${layer}_includes_${id} PROPERTIES RESOURCE_LOCK build_tree)
    if(NOT layer STREQUAL own)
      set_tests_properties(layers.${layer}_includes_${id} PROPERTIES
                           PASS_REGULAR_EXPRESSION "${header}.*(No such file|file not found)")
    endif()
  endforeach()
endfunction()
