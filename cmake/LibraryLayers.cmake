# The subsystem libraries in layers, lowest first. A library may link only libraries of lower
# layers: the graph stays acyclic and nothing below the application layer (tamo_bridge) can reach
# it. Checked when the build is configured, so a wrong link fails at once with the reason.
set(TAMO_LIBRARY_LAYERS
  "tamo_platform"
  "tamo_media"
  "tamo_export;tamo_speech;tamo_web;tamo_project"
  "tamo_background"
  "tamo_bridge")

function(tamo_check_library_layers)
  set(level 0)
  foreach(layer IN LISTS TAMO_LIBRARY_LAYERS)
    foreach(lib ${layer})
      set(layer_of_${lib} ${level})
    endforeach()
    math(EXPR level "${level} + 1")
  endforeach()
  set(TAMO_LAYERED_LIBRARIES "")
  foreach(layer IN LISTS TAMO_LIBRARY_LAYERS)
    list(APPEND TAMO_LAYERED_LIBRARIES ${layer})
  endforeach()
  foreach(lib IN LISTS TAMO_LAYERED_LIBRARIES)
    get_target_property(links ${lib} LINK_LIBRARIES)
    if(NOT links)
      continue()
    endif()
    foreach(dep IN LISTS links)
      if(dep MATCHES "LINK_GROUP")
        message(FATAL_ERROR "${lib} links a link group (${dep}): the libraries must form a plain graph")
      endif()
      if(NOT dep MATCHES "^tamo_")
        continue()
      endif()
      if(NOT DEFINED layer_of_${dep})
        message(FATAL_ERROR "${lib} links ${dep}, which has no place in TAMO_LIBRARY_LAYERS")
      endif()
      if(NOT layer_of_${dep} LESS layer_of_${lib})
        message(FATAL_ERROR "${lib} links ${dep}, which is not below it (cmake/LibraryLayers.cmake)")
      endif()
    endforeach()
  endforeach()
endfunction()
