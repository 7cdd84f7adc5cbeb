# The files that ship beside Lumerovantix.exe from the interface's application bundle
# (LUMERO_APP_BUNDLE: the folder the interface's build produced). Included by runner/ at
# configure time, by the install, and by the layout test (cmake -P), so it uses nothing that
# needs a project.

# The plugin libraries the host registers, in the order of its registration table.
set(LUMERO_PLUGIN_LIBRARIES
  file_selector_windows_plugin permission_handler_windows_plugin record_windows_plugin
  speech_to_text_windows_plugin url_launcher_windows_plugin)

# What the program cannot start without: the engine, the plugins and the data folder's pieces.
set(LUMERO_BUNDLE_REQUIRED flutter_windows.dll)
foreach(_plugin IN LISTS LUMERO_PLUGIN_LIBRARIES)
  list(APPEND LUMERO_BUNDLE_REQUIRED ${_plugin}.dll)
endforeach()
list(APPEND LUMERO_BUNDLE_REQUIRED data/flutter_assets data/icudtl.dat data/app.so)

# Never shipped from a bundle: the interface build's own runner (our program replaces it), import
# libraries and debugging files.
set(LUMERO_BUNDLE_LEFT_OUT_REGEX "[.]([eE][xX][eE]|[lL][iI][bB]|[eE][xX][pP]|[pP][dD][bB]|[iI][lL][kK])$")

# Stops with a message naming every required file or folder that the bundle lacks.
function(lumero_check_bundle bundle)
  if(NOT IS_DIRECTORY "${bundle}")
    message(FATAL_ERROR "LUMERO_APP_BUNDLE: no folder ${bundle}")
  endif()
  set(missing "")
  foreach(entry IN LISTS LUMERO_BUNDLE_REQUIRED)
    if(NOT EXISTS "${bundle}/${entry}")
      list(APPEND missing ${entry})
    endif()
  endforeach()
  if(missing)
    list(JOIN missing ", " missing)
    message(FATAL_ERROR "LUMERO_APP_BUNDLE: ${bundle} has no ${missing}")
  endif()
endfunction()

# Checks the bundle again (it may have been rebuilt since configuring) and installs every file
# of it into destination, keeping its folders, except those LUMERO_BUNDLE_LEFT_OUT_REGEX names.
function(lumero_install_bundle bundle destination)
  lumero_check_bundle("${bundle}")
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${bundle}" "${bundle}/*")
  list(SORT files)
  foreach(file IN LISTS files)
    if(NOT file MATCHES "${LUMERO_BUNDLE_LEFT_OUT_REGEX}")
      get_filename_component(folder "${file}" DIRECTORY)
      file(INSTALL "${bundle}/${file}" DESTINATION "${destination}/${folder}")
    endif()
  endforeach()
endfunction()
