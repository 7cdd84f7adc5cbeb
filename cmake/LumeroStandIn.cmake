# lumero_beside_engine(TARGET [PLUGIN_DLL_TARGETS...])
# A Windows executable loads flutter_windows.dll (and plugin DLLs) from its own folder, as the
# product does; this copies the stand-in engine and the named DLL targets next to TARGET.
function(lumero_beside_engine target)
  foreach(dll flutter_windows ${ARGN})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${dll}> $<TARGET_FILE_DIR:${target}>
      VERBATIM)
  endforeach()
endfunction()
