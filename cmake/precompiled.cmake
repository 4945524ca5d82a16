# Precompiled headers and unity builds for the whole tree, applied once every target exists.
option(VORLUNE_PCH "Precompile the common Qt and GoogleTest headers" ON)
option(VORLUNE_UNITY "Build the libraries and test programs as unity builds" ON)

# Every target defined in `dir` and the folders below it.
function(vorlune_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    vorlune_targets_below(${sub} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Whether `target` compiles C++ of its own.
function(vorlune_has_cxx target out)
  get_target_property(type ${target} TYPE)
  set(result FALSE)
  if(type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
    get_target_property(sources ${target} SOURCES)
    foreach(source IN LISTS sources)
      if(source MATCHES "\\.(cpp|cxx|cc)$" OR source MATCHES "\\.qrc$")
        set(result TRUE)
      endif()
    endforeach()
  endif()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Whether a header of `target` needs moc, looked for where AUTOMOC looks: the headers among
# its sources and the header beside each source. Mentions in comments count too.
function(vorlune_has_moc_headers target out)
  get_target_property(dir ${target} SOURCE_DIR)
  get_target_property(sources ${target} SOURCES)
  set(result FALSE)
  foreach(source IN LISTS sources)
    if(source MATCHES "\\$<")
      continue()
    endif()
    if(NOT IS_ABSOLUTE "${source}")
      set(source ${dir}/${source})
    endif()
    get_filename_component(ext ${source} LAST_EXT)
    get_filename_component(base ${source} NAME_WLE)
    get_filename_component(folder ${source} DIRECTORY)
    set(headers)
    if(ext MATCHES "^\\.(h|hpp|hxx)$")
      list(APPEND headers ${source})
    elseif(ext MATCHES "^\\.(cpp|cxx|cc)$")
      list(APPEND headers ${folder}/${base}.h ${folder}/${base}_p.h)
    endif()
    foreach(header IN LISTS headers)
      if(EXISTS ${header})
        file(STRINGS ${header} hits REGEX "Q_OBJECT|Q_GADGET|Q_NAMESPACE|Q_PLUGIN_METADATA")
        if(hits)
          set(result TRUE)
        endif()
      endif()
    endforeach()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# One header set for the programs and one for the tests, each compiled once by a host
# library. A compiled header is only used where every macro defined at its making is
# defined alike, so the hosts define only what all users define: the QtCore macros (the
# other modules' headers come in by their folders alone), _REENTRANT, which the system
# headers test and some libraries' flags define, and GoogleTest's for the tests.
function(vorlune_precompile_headers)
  # Clang refuses a compiled header over any macro that differs (the fuzz build).
  if(NOT VORLUNE_PCH OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    return()
  endif()
  set(folders
    $<TARGET_PROPERTY:Qt6::Widgets,INTERFACE_INCLUDE_DIRECTORIES>
    $<TARGET_PROPERTY:Qt6::Network,INTERFACE_INCLUDE_DIRECTORIES>)
  add_library(vorlune_pch STATIC ${PROJECT_SOURCE_DIR}/cmake/pch_host.cpp)
  target_link_libraries(vorlune_pch PRIVATE Qt6::Core)
  set_target_properties(vorlune_pch PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  target_include_directories(vorlune_pch SYSTEM PRIVATE ${folders})
  target_compile_definitions(vorlune_pch PRIVATE _REENTRANT)
  target_precompile_headers(vorlune_pch PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:${PROJECT_SOURCE_DIR}/cmake/precompiled_qt.h>)
  if(VORLUNE_TESTS)
    find_package(GTest REQUIRED)
    add_library(vorlune_test_pch STATIC ${PROJECT_SOURCE_DIR}/cmake/pch_host.cpp)
    target_link_libraries(vorlune_test_pch PRIVATE Qt6::Core GTest::gtest)
    set_target_properties(vorlune_test_pch PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
    target_include_directories(vorlune_test_pch SYSTEM PRIVATE ${folders})
    target_compile_definitions(vorlune_test_pch PRIVATE _REENTRANT)
    # Compiled as the test programs are, or they could not use it.
    target_compile_options(vorlune_test_pch PRIVATE
      "$<$<COMPILE_LANGUAGE:CXX>:${VORLUNE_TEST_CXX_OPTIONS}>")
    target_precompile_headers(vorlune_test_pch PRIVATE
      $<$<COMPILE_LANGUAGE:CXX>:${PROJECT_SOURCE_DIR}/cmake/precompiled_tests.h>)
  endif()
  # The benchmarks are one source each, some without Qt: not worth a compiled header.
  set(dirs src)
  if(VORLUNE_TESTS)
    list(APPEND dirs tests)
  endif()
  foreach(dir IN LISTS dirs)
    set(host vorlune_pch)
    if(dir STREQUAL "tests")
      set(host vorlune_test_pch)
    endif()
    vorlune_targets_below(${PROJECT_SOURCE_DIR}/${dir} targets)
    foreach(target IN LISTS targets)
      vorlune_has_cxx(${target} cxx)
      if(cxx)
        target_precompile_headers(${target} REUSE_FROM ${host})
        target_compile_definitions(${target} PRIVATE _REENTRANT)
        # Loading the compiled header costs more than an empty moc collection file.
        get_target_property(automoc ${target} AUTOMOC)
        vorlune_has_moc_headers(${target} moc)
        if(automoc AND NOT moc)
          get_target_property(bin ${target} BINARY_DIR)
          set_source_files_properties(${bin}/${target}_autogen/mocs_compilation.cpp
            TARGET_DIRECTORY ${target} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
        endif()
      endif()
    endforeach()
  endforeach()
endfunction()

# Several sources per compiler run, for the libraries and the test programs. Sources that
# define a helper of the same name as another source of their target (in an anonymous
# namespace) or include their own moc output are compiled apart.
set(VORLUNE_UNITY_SKIP
  tests/app/process_test.cpp          # talk(), as control_server_test.cpp
  tests/media/test_peers.cpp          # readFile(), writeFile(), as copy's test_support.cpp
  tests/copy/copy_share_test.cpp      # pattern(), leftovers(), as copy_run_test.cpp
  tests/streaming/server_queue_test.cpp # sendAll(), as server_load_test.cpp
  tests/app/remote_window_test.cpp    # includes its own moc output
  tests/views/web_view_test.cpp       # includes its own moc output
  src/builder/wizard/share_browser.cpp # includes its own moc output
)
function(vorlune_unity_builds)
  if(NOT VORLUNE_UNITY)
    return()
  endif()
  set(dirs src)
  if(VORLUNE_TESTS)
    list(APPEND dirs tests)
  endif()
  foreach(dir IN LISTS dirs)
    vorlune_targets_below(${PROJECT_SOURCE_DIR}/${dir} targets)
    foreach(target IN LISTS targets)
      vorlune_has_cxx(${target} cxx)
      if(NOT cxx)
        continue()
      endif()
      set(batch 8)
      if(dir STREQUAL "tests")
        set(batch 6)
      endif()
      set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${batch})
      # Included into the batch file, a source counts as a header to GCC, which would warn
      # on every class kept in an anonymous namespace.
      if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-subobject-linkage>)
      endif()
      foreach(source IN LISTS VORLUNE_UNITY_SKIP)
        set_source_files_properties(${PROJECT_SOURCE_DIR}/${source} TARGET_DIRECTORY ${target}
                                    PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
      endforeach()
    endforeach()
  endforeach()
endfunction()
