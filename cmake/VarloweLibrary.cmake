# How every library of the tree is built: one static library per folder of src/, named by
# the folder, found through one include root (src/) so that an include names the folder of
# its header ("settings/app_settings.h"), linking what it declares and nothing more.
#
#   varlowe_library(NAME SOURCES file... [DEPENDS library...] [WX component...]
#                   [LINK other...] [ROOT folder])
#
# DEPENDS are the project's libraries it builds on (tools/check-layers reads them); WX the
# wxWidgets components it uses (base, core, html, xml); LINK anything else (Threads, libpcap).
# ROOT replaces src/ as the include root (the tests' support library uses tests/).

# The toolkit's libraries as one target per set of components, each found in a function of
# its own so that no later search overwrites what an earlier target links.
function(varlowe_wx_target target)
  find_package(wxWidgets REQUIRED COMPONENTS ${ARGN})
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${wxWidgets_INCLUDE_DIRS})
  target_compile_definitions(${target} INTERFACE ${wxWidgets_DEFINITIONS})
  target_compile_options(${target} INTERFACE ${wxWidgets_CXX_FLAGS})
  target_link_libraries(${target} INTERFACE ${wxWidgets_LIBRARIES})
endfunction()

varlowe_wx_target(varlowe_wx_base base)
varlowe_wx_target(varlowe_wx_core core base)
varlowe_wx_target(varlowe_wx_html html core base)
varlowe_wx_target(varlowe_wx_xml xml core base)

function(varlowe_library name)
  cmake_parse_arguments(ARG "" "ROOT" "SOURCES;DEPENDS;WX;LINK" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  if(NOT ARG_ROOT)
    set(ARG_ROOT ${PROJECT_SOURCE_DIR}/src)
  endif()
  target_include_directories(${name} PUBLIC ${ARG_ROOT})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} ${ARG_LINK} PRIVATE varlowe_warnings)
  foreach(component ${ARG_WX})
    target_link_libraries(${name} PUBLIC varlowe_wx_${component})
  endforeach()
endfunction()

# A program of the product (build/bin/NAME, installed in bin).
function(varlowe_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} varlowe_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  install(TARGETS ${name} RUNTIME DESTINATION bin)
endfunction()
