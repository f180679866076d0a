# Qt for the Windows build. A cross build on Linux takes the static Qt 6 for Windows that
# scripts/qt-mingw builds once from Debian's source into a cache folder (and builds it here when
# it is missing); a build on Windows finds Qt through CMAKE_PREFIX_PATH.
option(NETVANE_WINDOWS_GUI "Build Netvane and NVEupdate (needs Qt 6 for Windows)" ON)
if(NETVANE_WINDOWS_GUI AND CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/qt-mingw
                  OUTPUT_VARIABLE qt_prefix OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE qt_result)
  if(NOT qt_result EQUAL 0)
    message(FATAL_ERROR "scripts/qt-mingw could not build Qt 6 for Windows (see above); "
                        "-DNETVANE_WINDOWS_GUI=OFF builds the other programs without it")
  endif()
  list(PREPEND CMAKE_PREFIX_PATH ${qt_prefix})
  list(APPEND CMAKE_FIND_ROOT_PATH ${qt_prefix})
  # The host's moc, rcc and uic, of the same version.
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
