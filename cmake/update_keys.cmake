# netvane_update_keys(LIBRARY KEYFILE...): a library whose CompiledUpdateKeys() gives the
# minisign public keys of the files, which NVEupdate trusts. Each file must be a public key as
# `minisign -G` writes it.
function(netvane_update_keys library)
  set(lines "")
  foreach(file IN LISTS ARGN)
    file(READ "${file}" text)
    string(REGEX MATCH "^untrusted comment: [^\n]*\n(RW[A-Za-z0-9+/]+)\n?$" matched "${text}")
    string(LENGTH "${CMAKE_MATCH_1}" length)
    if(NOT matched OR NOT length EQUAL 56)
      message(FATAL_ERROR "${file} is not a minisign public key file")
    endif()
    string(APPEND lines "      \"${CMAKE_MATCH_1}\",\n")
  endforeach()
  set(source "${CMAKE_CURRENT_BINARY_DIR}/${library}.cpp")
  file(CONFIGURE OUTPUT "${source}" CONTENT
"// Made by cmake/update_keys.cmake from: ${ARGN}
#include \"updater/compiled_keys.h\"

namespace netvane::updater {

std::vector<std::string> CompiledUpdateKeys() {
  return {
${lines}  };
}

}  // namespace netvane::updater
")
  add_library(${library} STATIC "${source}")
  target_include_directories(${library} PRIVATE ${PROJECT_SOURCE_DIR}/src)
endfunction()

# A key pair of this build's own for the tests, made once in the build folder by the minisign
# program without a password: NETVANE_TEST_UPDATE_KEY (the public key file) and
# NETVANE_TEST_UPDATE_SECRET. Never shipped.
function(netvane_test_update_key)
  set(folder "${CMAKE_BINARY_DIR}/test-update-key")
  set(public "${folder}/test.pub")
  set(secret "${folder}/test.key")
  if(NOT EXISTS "${public}" OR NOT EXISTS "${secret}")
    find_program(NETVANE_MINISIGN minisign REQUIRED)
    file(MAKE_DIRECTORY "${folder}")
    execute_process(COMMAND ${NETVANE_MINISIGN} -G -W -f -p "${public}" -s "${secret}"
                    INPUT_FILE /dev/null OUTPUT_QUIET RESULT_VARIABLE made)
    if(NOT made EQUAL 0)
      message(FATAL_ERROR "minisign could not make the tests' key pair")
    endif()
  endif()
  set(NETVANE_TEST_UPDATE_KEY "${public}" PARENT_SCOPE)
  set(NETVANE_TEST_UPDATE_SECRET "${secret}" PARENT_SCOPE)
endfunction()
