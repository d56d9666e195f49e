# GoogleTest from Debian's source package, built with the tree's own compiler so
# that the same test sources run natively and under Wine.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Not our code: GCC 12 reports a false -Wrestrict inside it.
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)

# The windows of the program run in a Wine prefix of their own: the device tests leave
# Wine's sound system in states that later window tests in the same prefix stumbled on.
set(SONIMO_GUI_PREFIX ${CMAKE_BINARY_DIR}/wineprefix-gui)

# One ctest entry per test source file, filtered to the suites that file defines.
# The sources are read at configure time, so nothing runs the test binary at build time.
function(sonimo_register_tests target)
  foreach(src IN LISTS ARGN)
    # the suite names come from the file, so an edit must re-run the registration
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${src})
    file(READ ${src} text)
    string(REGEX MATCHALL "TEST(_F|_P)?\\([ \n]*[A-Za-z0-9_]+" hits "${text}")
    set(suites "")
    foreach(h IN LISTS hits)
      string(REGEX REPLACE "TEST(_F|_P)?\\([ \n]*" "" s "${h}")
      list(APPEND suites "${s}")
    endforeach()
    # Typed and parameterised suites defined in a shared header are named by their
    # instantiation: Prefix/Suite/N.Test.
    string(REGEX MATCHALL "INSTANTIATE_(TYPED_)?TEST_SUITE_P\\([ \n]*[A-Za-z0-9_]+[ \n]*,[ \n]*[A-Za-z0-9_]+" inst "${text}")
    foreach(h IN LISTS inst)
      string(REGEX REPLACE "INSTANTIATE_(TYPED_)?TEST_SUITE_P\\([ \n]*([A-Za-z0-9_]+)[ \n]*,[ \n]*([A-Za-z0-9_]+)" "\\2/\\3" s "${h}")
      list(APPEND suites "${s}")
    endforeach()
    list(REMOVE_DUPLICATES suites)
    if(NOT suites)
      continue()
    endif()
    set(filter "")
    foreach(s IN LISTS suites)
      if(s MATCHES "/")
        string(APPEND filter "${s}/*:")
      else()
        string(APPEND filter "${s}.*:*/${s}.*:")
      endif()
    endforeach()
    get_filename_component(name ${src} NAME_WE)
    add_test(NAME ${target}.${name} COMMAND ${target} --gtest_filter=${filter} --gtest_brief=1)
    set_tests_properties(${target}.${name} PROPERTIES TIMEOUT 300)
    # Device tests share the one file the captured audio goes to: one at a time.
    # Windows drawn with Japanese texts need a Japanese locale for Wine.
    if(target MATCHES "^(ui|e2e)_tests$")
      set_tests_properties(${target}.${name} PROPERTIES ENVIRONMENT
                           "LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8;SONIMO_WINEPREFIX=${SONIMO_GUI_PREFIX}")
    endif()
    set(locks "")
    # The window tests create windows the end-to-end driver would find by their title, and
    # open the devices: they take turns with the device and end-to-end tests.
    if(text MATCHES "#include \"AudioCapture.h\"" OR target STREQUAL "ui_tests")
      list(APPEND locks audio_capture)
    endif()
    # The end-to-end test rewrites the program's registry key.
    if(text MATCHES "#include \"app/RegistrySettingsStore.h\"")
      list(APPEND locks registry)
    endif()
    if(locks)
      set_tests_properties(${target}.${name} PROPERTIES RESOURCE_LOCK "${locks}")
    endif()
  endforeach()
endfunction()

file(GLOB SONIMO_UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(unit_tests ${SONIMO_UNIT_TEST_SOURCES})
target_compile_options(unit_tests PRIVATE ${SONIMO_TEST_WARNINGS})
target_include_directories(unit_tests PRIVATE tests/unit)
# The command-line tool's pure parts (series tables, column parsing) are tested directly.
target_link_libraries(unit_tests PRIVATE sonimo_engine sonimo_cli_commands GTest::gtest_main)
target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(unit_tests PRIVATE SONIMO_TEST_DATA_DIR="${CMAKE_BINARY_DIR}/testdata")
sonimo_register_tests(unit_tests ${SONIMO_UNIT_TEST_SOURCES})
# The decoder tests read streams that lame and mpg123 make on the host first.
if(TEST unit_tests.Mp3FileSourceTest)
  add_test(NAME unit_tests.mp3_testdata
           COMMAND ${CMAKE_SOURCE_DIR}/tests/unit/make-mp3-testdata ${CMAKE_BINARY_DIR}/testdata/mp3)
  set_tests_properties(unit_tests.mp3_testdata PROPERTIES FIXTURES_SETUP mp3_testdata)
  set_tests_properties(unit_tests.Mp3FileSourceTest PROPERTIES FIXTURES_REQUIRED mp3_testdata)
endif()
# The conformance streams and their reference output, unpacked from the repository (a
# missing archive fails the fixture, and with it the suite).
if(TEST unit_tests.Mp3ConformanceTest)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/testdata/conformance)
  add_test(NAME unit_tests.mp3_conformance_data
           COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/testdata/conformance
                   ${CMAKE_COMMAND} -E tar xf ${CMAKE_SOURCE_DIR}/tests/data/mpeg-audio-conformance.tar.xz)
  set_tests_properties(unit_tests.mp3_conformance_data PROPERTIES FIXTURES_SETUP mp3_conformance_data)
  set_tests_properties(unit_tests.Mp3ConformanceTest PROPERTIES FIXTURES_REQUIRED mp3_conformance_data)
endif()
# The command-line tests start the built tool, which sits next to the test program.
if(TARGET sonimo-cli)
  add_dependencies(unit_tests sonimo-cli)
endif()

if(WIN32)
  file(GLOB SONIMO_WIN32_TEST_SOURCES CONFIGURE_DEPENDS tests/win32/*.cpp)
  if(SONIMO_WIN32_TEST_SOURCES AND TARGET sonimo_win32)
    # The shared helpers (temporary folders, whole-file reads) come from the unit tests.
    add_executable(win32_tests ${SONIMO_WIN32_TEST_SOURCES} tests/unit/TestSupport.cpp tests/unit/CliRunner.cpp
                            tests/unit/TestWatchdog.cpp)
    target_compile_options(win32_tests PRIVATE ${SONIMO_TEST_WARNINGS})
    target_include_directories(win32_tests PRIVATE tests/unit tests/win32)
    target_link_libraries(win32_tests PRIVATE sonimo_win32 GTest::gtest_main)
    target_compile_definitions(win32_tests PRIVATE SONIMO_TEST_DATA_DIR="${CMAKE_BINARY_DIR}/testdata")
    sonimo_register_tests(win32_tests ${SONIMO_WIN32_TEST_SOURCES})
    if(TARGET sonimo-cli)
      add_dependencies(win32_tests sonimo-cli) # the play tests start the tool
    endif()
    # The converting-reader tests read files that sox and lame make on the host first.
    if(TEST win32_tests.AcmFileSourceTest)
      add_test(NAME win32_tests.acm_testdata
               COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/make-acm-testdata ${CMAKE_BINARY_DIR}/testdata/acm)
      set_tests_properties(win32_tests.acm_testdata PROPERTIES FIXTURES_SETUP acm_testdata)
      set_tests_properties(win32_tests.AcmFileSourceTest PROPERTIES FIXTURES_REQUIRED acm_testdata)
    endif()
    if(TEST win32_tests.Mp3FallbackTest AND TEST unit_tests.mp3_testdata)
      set_tests_properties(win32_tests.Mp3FallbackTest PROPERTIES FIXTURES_REQUIRED mp3_testdata)
    endif()
  endif()
endif()

if(WIN32 AND TARGET sonimo_win32)
  # The real windows, created in the test process with scripted seams.
  file(GLOB SONIMO_UI_TEST_SOURCES CONFIGURE_DEPENDS tests/ui/*.cpp)
  add_executable(ui_tests ${SONIMO_UI_TEST_SOURCES} tests/unit/TestSupport.cpp tests/unit/TestWatchdog.cpp
                        tests/win32/AudioCapture.cpp
                          ${SONIMO_RESOURCES})
  target_compile_options(ui_tests PRIVATE ${SONIMO_TEST_WARNINGS})
  target_include_directories(ui_tests PRIVATE tests/unit tests/win32 tests/ui)
  target_link_libraries(ui_tests PRIVATE sonimo_win32 GTest::gtest_main)
  sonimo_register_tests(ui_tests ${SONIMO_UI_TEST_SOURCES})
endif()

if(WIN32 AND TARGET Sonimo)
  # The real program driven from outside: real key presses, a driver that reads its window.
  add_executable(sonimo_driver tests/e2e/SonimoDriver.cpp tests/win32/AudioCapture.cpp)
  target_compile_options(sonimo_driver PRIVATE ${SONIMO_TEST_WARNINGS})
  target_include_directories(sonimo_driver PRIVATE tests/win32)
  target_link_options(sonimo_driver PRIVATE -municode)
  target_link_libraries(sonimo_driver PRIVATE sonimo_engine comctl32 winmm GTest::gtest)
  add_test(NAME e2e.keys_grid_playback_and_shutdown COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run-e2e ${CMAKE_BINARY_DIR})
  add_test(NAME e2e.scale_typed_value_and_save_wav
           COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run-e2e-scale-and-files ${CMAKE_BINARY_DIR})
  add_test(NAME e2e.list_and_options
           COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run-e2e-list-and-options ${CMAKE_BINARY_DIR})
  add_test(NAME e2e.compressed_list
           COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run-e2e-compressed-list ${CMAKE_BINARY_DIR})
  # The package in a fresh prefix of its own; its windows share the display.
  add_test(NAME e2e.install_and_uninstall COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run-install ${CMAKE_BINARY_DIR})
  add_test(NAME e2e.single_instance
           COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run-e2e-single-instance ${CMAKE_BINARY_DIR})
  set_tests_properties(e2e.keys_grid_playback_and_shutdown e2e.scale_typed_value_and_save_wav e2e.list_and_options
                       e2e.compressed_list e2e.single_instance e2e.install_and_uninstall
                       PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE
                       RESOURCE_LOCK "audio_capture;registry"
                       ENVIRONMENT "LC_ALL=ja_JP.UTF-8;LANG=ja_JP.UTF-8;SONIMO_WINEPREFIX=${SONIMO_GUI_PREFIX}")
endif()

# The layers hold: a ui header named from a synth file is not found through the synth
# view, and the same file compiles through the ui view (so the refusal is the view's).
add_test(NAME layers.synth_cannot_include_ui
         COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -I${SONIMO_VIEWS}/synth
                 ${CMAKE_SOURCE_DIR}/cmake/layer-check/ClimbingInclude.cpp)
set_tests_properties(layers.synth_cannot_include_ui PROPERTIES
                     PASS_REGULAR_EXPRESSION "ui/NoteTable\\.h: No such file or directory")
add_test(NAME layers.ui_sees_synth_and_ui
         COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -I${SONIMO_VIEWS}/ui
                 ${CMAKE_SOURCE_DIR}/cmake/layer-check/ClimbingInclude.cpp)
# A relative name past the views is refused by the include check, and the tree passes it.
add_test(NAME layers.relative_include_refused
         COMMAND ${CMAKE_COMMAND} -DTOP=${CMAKE_SOURCE_DIR}/cmake/layer-check -P ${CMAKE_SOURCE_DIR}/cmake/CheckIncludes.cmake)
set_tests_properties(layers.relative_include_refused PROPERTIES
                     PASS_REGULAR_EXPRESSION "src/ui/Relative\\.cpp: #include \"win32/Beside\\.h\"")
add_test(NAME layers.tree_includes_named_from_src
         COMMAND ${CMAKE_COMMAND} -DTOP=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/CheckIncludes.cmake)
