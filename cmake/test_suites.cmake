# Test discovery by suite: each GoogleTest suite of a test program becomes one CTest test,
# which runs the suite's cases in one process. Starting a test program loads a few hundred
# shared libraries; once per suite instead of once per case saves most of that.
#
#   vorlune_discover_tests(target [TEST_PREFIX prefix] [DISCOVERY_TIMEOUT seconds]
#                          [PROPERTIES name value ...])
#
# TIMEOUT in PROPERTIES is per case: a suite gets it once per case it holds. A suite whose
# cases were all skipped reports itself skipped (the test programs' main exits with 77).
set(VORLUNE_SUITE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/test_suites_discover.cmake)

function(vorlune_discover_tests target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TEST_PREFIX;DISCOVERY_TIMEOUT" "PROPERTIES")
  if(NOT arg_DISCOVERY_TIMEOUT)
    set(arg_DISCOVERY_TIMEOUT 60)
  endif()
  set(timeout "")
  set(properties "")
  set(key "")
  foreach(item IN LISTS arg_PROPERTIES)
    if(key STREQUAL "")
      set(key ${item})
    else()
      if(key STREQUAL "TIMEOUT")
        set(timeout ${item})
      else()
        string(APPEND properties " ${key} [==[${item}]==]")
      endif()
      set(key "")
    endif()
  endforeach()

  set(list_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake")
  set(include_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites_include.cmake")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -D "program=$<TARGET_FILE:${target}>"
            -D "prefix=${arg_TEST_PREFIX}" -D "out=${list_file}"
            -D "discovery_timeout=${arg_DISCOVERY_TIMEOUT}" -P ${VORLUNE_SUITE_SCRIPT}
    BYPRODUCTS ${list_file}
    VERBATIM)
  # Read by CTest: the suites as found at the last build, with this target's properties.
  file(WRITE ${include_file} "\
if(NOT EXISTS [==[${list_file}]==])
  add_test([==[${target}_NOT_BUILT]==] [==[${target}_NOT_BUILT]==])
  return()
endif()
include([==[${list_file}]==])
foreach(suite cases IN ZIP_LISTS suites suite_cases)
  set_tests_properties(\${suite} PROPERTIES WORKING_DIRECTORY [==[${CMAKE_CURRENT_BINARY_DIR}]==]
                       SKIP_RETURN_CODE 77 COST \${cases}${properties})
  if(NOT [==[${timeout}]==] STREQUAL \"\")
    math(EXPR seconds \"${timeout} * \${cases}\")
    set_tests_properties(\${suite} PROPERTIES TIMEOUT \${seconds})
  endif()
endforeach()
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
