# cmake -DBUILD=DIR -DCONFIG=NAME -DWORK=DIR -P install_layout_test.cmake
# What ships: the build's install, with the stand-ins, holds exactly installer/ships.txt; an
# application bundle ships whole but for runners, import libraries and debugging files; a bundle
# that lacks a required file is refused with its name.
# Run by itself with -DMODE=check -DBUNDLE=DIR, it checks one bundle (the refusal ends a process).
cmake_minimum_required(VERSION 3.25)
set(source ${CMAKE_CURRENT_LIST_DIR}/../..)
include(${source}/cmake/LumeroBundle.cmake)

if(MODE STREQUAL "check")
  lumero_check_bundle("${BUNDLE}")
  return()
endif()

set(failures "")
macro(fail text)
  string(APPEND failures "${text}\n")
endmacro()

# The files under folder, relative, sorted.
function(tree_files var folder)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${folder}" "${folder}/*")
  list(SORT files)
  set(${var} "${files}" PARENT_SCOPE)
endfunction()

# Adds to failures what is in the tree and not expected, and the other way round.
function(compare_tree what folder expected)
  tree_files(actual "${folder}")
  list(SORT expected)
  set(extra ${actual})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${actual})
  if(extra)
    fail("${what}: installed but not expected: ${extra}")
  endif()
  if(missing)
    fail("${what}: expected but not installed: ${missing}")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")

# 1. The build's own install, stand-ins and all, against the list of what ships.
file(STRINGS ${source}/installer/ships.txt ships REGEX "^[^#]")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --config "${CONFIG}"
                        --prefix "${WORK}/layout"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0)
  compare_tree("cmake --install" "${WORK}/layout" "${ships}")
else()
  fail("cmake --install failed (${status}):\n${output}")
endif()

# 2. A bundle as the interface's build leaves it, with its own runner and debugging files and the
# Visual C++ runtime carried along. It must hold what ships beside our two programs, the assets
# folder with whatever it contains.
set(required ${ships})
list(FILTER required EXCLUDE REGEX "[.]exe$")
list(TRANSFORM required REPLACE "^data/flutter_assets/.*" "data/flutter_assets")
list(REMOVE_DUPLICATES required)
set(bundle "${WORK}/bundle")
set(shipped ${required} vcruntime140.dll msvcp140.dll
  data/flutter_assets/AssetManifest.json data/flutter_assets/fonts/MaterialIcons-Regular.otf)
list(REMOVE_ITEM shipped data/flutter_assets)
foreach(file ${shipped} lumerovantix.exe RUNNER.PDB flutter_windows.dll.lib flutter_windows.dll.exp
             record_windows_plugin.ilk)
  file(WRITE "${bundle}/${file}" "${file}")
endforeach()
lumero_install_bundle("${bundle}" "${WORK}/from-bundle")
compare_tree("bundle" "${WORK}/from-bundle" "${shipped}")

# 3. Each required piece missing in turn, and no bundle at all.
foreach(entry ${required} "")
  if(entry)
    file(RENAME "${bundle}/${entry}" "${WORK}/aside")
    set(expected "has no ${entry}")
  else()
    set(bundle "${WORK}/no-bundle")
    set(expected "no folder ${bundle}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -DMODE=check "-DBUNDLE=${bundle}"
                          -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \n]+" " " output "${output}")
  string(FIND "${output}" "LUMERO_APP_BUNDLE: " named)
  string(FIND "${output}" "${expected}" found)
  if(status EQUAL 0 OR named LESS 0 OR found LESS 0)
    fail("a bundle without ${entry}: status ${status}, expected \"${expected}\":\n${output}")
  endif()
  if(entry)
    file(RENAME "${WORK}/aside" "${bundle}/${entry}")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
file(REMOVE_RECURSE "${WORK}")
message(STATUS "install layout: as listed; bundle: shipped and checked")
