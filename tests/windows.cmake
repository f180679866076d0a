# The Windows build's tests: the suites that need no host backend, the Win32 services, and the
# engine, the filter switch, netvanectl, netvane-reg and the updater's FTP client over them.
# Cross-built on Linux, ctest runs every program through Wine, in a prefix of the build's own.
include(GoogleTest)

# A cross build has no packaged GoogleTest for Windows: it is built from its sources.
set(NETVANE_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources for the Windows build (empty: use an installed GoogleTest)")
if(NETVANE_GTEST_SOURCE_DIR AND EXISTS ${NETVANE_GTEST_SOURCE_DIR}/CMakeLists.txt)
  set(BUILD_GMOCK OFF)
  set(INSTALL_GTEST OFF)
  add_subdirectory(${NETVANE_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()

if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
  find_program(NETVANE_WINE64 wine64 PATHS /usr/lib/wine)
  if(NOT NETVANE_WINE64)
    message(FATAL_ERROR "wine64 not found: the Windows tests run under Wine. Install the Debian "
                        "package wine64 (scripts/install-deps), or configure with "
                        "-DNETVANE_TESTS=OFF.")
  endif()
  get_filename_component(wine_dir ${NETVANE_WINE64} DIRECTORY)
  find_program(NETVANE_WINESERVER wineserver HINTS ${wine_dir} /usr/lib/wine REQUIRED)
  set(NETVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(wine_env WINEPREFIX=${NETVANE_WINEPREFIX} WINEDEBUG=-all)
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${wine_env} ${NETVANE_WINE64})
  # Made once, before the first test program runs (test discovery runs them while building):
  # Wine makes a missing prefix on first use, and programs starting at once would race to make
  # it. The installers of Wine's Mono and Gecko are left out; no test needs them.
  add_custom_command(
    OUTPUT ${NETVANE_WINEPREFIX}/system.reg
    COMMAND env ${wine_env} WINEDLLOVERRIDES=mscoree,mshtml= ${NETVANE_WINE64} wineboot -i
    COMMAND env ${wine_env} ${NETVANE_WINESERVER} -w
    COMMENT "Creating the Wine prefix of the tests"
    VERBATIM)
  add_custom_target(netvane_wineprefix DEPENDS ${NETVANE_WINEPREFIX}/system.reg)

  # Every test runs in one Wine session, started before the first and ended after the last.
  set(session ${CMAKE_CURRENT_SOURCE_DIR}/wine/wine_session.sh)
  add_test(NAME wine.start COMMAND ${session} start ${NETVANE_WINE64} ${NETVANE_WINESERVER})
  add_test(NAME wine.stop COMMAND ${session} stop ${NETVANE_WINE64} ${NETVANE_WINESERVER})
  set_tests_properties(wine.start wine.stop PROPERTIES
    LABELS wine ENVIRONMENT "WINEPREFIX=${NETVANE_WINEPREFIX};WINEDEBUG=-all")
  set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine_session)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine_session)
  set(NETVANE_WINE_SESSION FIXTURES_REQUIRED wine_session)
endif()

# netvane_add_windows_test(NAME sources... [LIBS libs...] [PROPERTIES test properties...]
#                          [LAUNCHER command...])
# A LAUNCHER runs before the emulator and is handed its command line.
function(netvane_add_windows_test name)
  cmake_parse_arguments(T "" "" "LIBS;PROPERTIES;LAUNCHER" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE GTest::gtest_main ${T_LIBS})
  if(T_LAUNCHER)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR
                 ${T_LAUNCHER} ${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  if(TARGET netvane_wineprefix)
    add_dependencies(${name} netvane_wineprefix)
  endif()
  gtest_discover_tests(${name}
    PROPERTIES LABELS wine ${NETVANE_WINE_SESSION} ${T_PROPERTIES}
    DISCOVERY_TIMEOUT 60)
endfunction()

# The raw registry helpers and the message box double are plain C++ over the platform and
# engine interfaces.
add_library(netvane_registry_raw STATIC support/registry_raw.cpp support/scripted_prompt.cpp)
target_include_directories(netvane_registry_raw PUBLIC support)
target_link_libraries(netvane_registry_raw PUBLIC netvane_platform)

# Suites of pure logic, the same sources as on the host: here under the Windows compiler and
# its 32-bit long.
netvane_add_windows_test(portable_tests
  platform/command_line_test.cpp
  platform/bytes_test.cpp
  platform/probe_facts_test.cpp
  engine/address_test.cpp
  engine/location_tree_test.cpp
  engine/recognition_test.cpp
  LIBS netvane_engine
)

# The publisher's side for the updater's tests, and a key pair of this build's own.
add_library(netvane_update_signer STATIC support/update_signer.cpp)
target_include_directories(netvane_update_signer PUBLIC support)
target_link_libraries(netvane_update_signer PUBLIC netvane_updater)
include(${PROJECT_SOURCE_DIR}/cmake/update_keys.cmake)
netvane_test_update_key()
netvane_update_keys(netvane_test_update_keys ${NETVANE_TEST_UPDATE_KEY})

add_subdirectory(platform/win32)
add_subdirectory(wine)
