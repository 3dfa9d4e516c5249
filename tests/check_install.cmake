# Installs the build into PREFIX and checks that every installed file is there.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/varnel bin/varnel-calc bin/varnel-tune share/applications/varnel.desktop
             share/applications/varnel-tune.desktop share/icons/hicolor/16x16/apps/varnel.png
             share/icons/hicolor/32x32/apps/varnel.png
             share/icons/hicolor/32x32/apps/varnel-tune.png
             share/icons/hicolor/scalable/apps/varnel-tune.svg)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
message(STATUS "install layout complete")
