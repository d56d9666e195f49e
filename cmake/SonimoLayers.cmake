# The layers of src/, each a static library that links only downwards.
#
# Linking alone would not stop a climbing include while every target sees all of src/.
# So each layer compiles against a view of src/ of its own, made here at configure time:
# build/<tree>/layers/<layer>/<folder>/X.h links to src/<folder>/X.h for exactly the
# folders the layer may include. An include that climbs is then "No such file or
# directory" from the compiler itself. The one way around a view, an include relative
# to the including file ("win32/X.h" from src/ui, "../ui/X.h"), is refused by
# CheckIncludes.cmake, which every layer waits for.
#
# Tests, fuzzers and benchmarks see all of src/ (through sonimo_engine/sonimo_win32).

set(SONIMO_VIEWS ${CMAKE_BINARY_DIR}/layers)
file(REMOVE_RECURSE ${SONIMO_VIEWS}) # a folder a layer no longer sees must go

# sonimo_view(NAME FOLDER...): the view NAME, holding the headers of each FOLDER of src/
# (its own files only: a subfolder is seen when it is listed itself).
function(sonimo_view name)
  foreach(folder IN LISTS ARGN)
    set(dir ${SONIMO_VIEWS}/${name}/${folder})
    file(MAKE_DIRECTORY ${dir})
    # CONFIGURE_DEPENDS: a new header reaches the views at the next build
    file(GLOB headers CONFIGURE_DEPENDS LIST_DIRECTORIES false ${CMAKE_SOURCE_DIR}/src/${folder}/*.h)
    foreach(header IN LISTS headers)
      get_filename_component(leaf ${header} NAME)
      file(CREATE_LINK ${header} ${dir}/${leaf} SYMBOLIC)
    endforeach()
  endforeach()
endfunction()

# Every quoted include of src/ named from src/'s root or from its own folder, never
# through a subfolder or "..": a view can only refuse what is named from the root.
# The command-line tool's folder is held to the same.
file(GLOB_RECURSE SONIMO_ALL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.h ${CMAKE_SOURCE_DIR}/src/*.cpp
     ${CMAKE_SOURCE_DIR}/cli/*.h ${CMAKE_SOURCE_DIR}/cli/*.cpp)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/include-check.stamp
  COMMAND ${CMAKE_COMMAND} -DTOP=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/CheckIncludes.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/include-check.stamp
  DEPENDS ${SONIMO_ALL_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/CheckIncludes.cmake
  COMMENT "Checking that includes of src/ are named from its root")
add_custom_target(sonimo_include_check DEPENDS ${CMAKE_BINARY_DIR}/include-check.stamp)

# sonimo_layer(NAME SOURCES glob... SEES folder... [LINKS target...]): the library
# sonimo_NAME of the sources, compiled against the view of the folders it SEES, linking
# the layers below it (and system libraries) that it LINKS.
set(SONIMO_LAYERS "")
function(sonimo_layer name)
  cmake_parse_arguments(arg "" "" "SOURCES;SEES;LINKS" ${ARGN})
  set(sources "")
  foreach(pattern IN LISTS arg_SOURCES)
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${pattern})
    list(APPEND sources ${found})
  endforeach()
  sonimo_view(${name} ${arg_SEES})
  add_library(sonimo_${name} STATIC ${sources})
  target_include_directories(sonimo_${name} PRIVATE ${SONIMO_VIEWS}/${name})
  target_compile_options(sonimo_${name} PRIVATE ${SONIMO_WARNINGS})
  target_link_libraries(sonimo_${name} PUBLIC ${arg_LINKS})
  add_dependencies(sonimo_${name} sonimo_include_check)
  set(SONIMO_LAYERS ${SONIMO_LAYERS} sonimo_${name} PARENT_SCOPE)
endfunction()

# --- portable: no Windows header -------------------------------------------
find_package(Threads REQUIRED)
if(WIN32)
  set(SONIMO_PLATFORM_OWN platform/win32)
  # what the handle owners of platform/win32/Owned.h release through
  set(SONIMO_PLATFORM_LIBS advapi32 ole32 user32 gdi32 uuid)
else()
  set(SONIMO_PLATFORM_OWN platform/posix)
  set(SONIMO_PLATFORM_LIBS "")
endif()
sonimo_layer(platform SOURCES src/platform/*.cpp src/${SONIMO_PLATFORM_OWN}/*.cpp
  SEES platform ${SONIMO_PLATFORM_OWN}
  LINKS Threads::Threads ${SONIMO_PLATFORM_LIBS})
sonimo_layer(tone SOURCES src/tone/*.cpp SEES platform tone LINKS sonimo_platform)
sonimo_layer(synth SOURCES src/synth/*.cpp SEES platform tone synth LINKS sonimo_tone)
# file formats, readers, limiters, renderers, and the arithmetic of playback
sonimo_layer(audio SOURCES src/audio/*.cpp SEES platform tone synth audio LINKS sonimo_synth)
sonimo_layer(measure SOURCES src/measure/*.cpp SEES platform tone synth audio measure LINKS sonimo_audio)
# what the window decides
sonimo_layer(ui SOURCES src/ui/*.cpp SEES platform tone synth audio ui LINKS sonimo_audio)
set(SONIMO_PORTABLE_LAYERS ${SONIMO_LAYERS})

# The portable engine as one target, for the tests, the fuzzers and the benchmarks.
add_library(sonimo_engine INTERFACE)
target_link_libraries(sonimo_engine INTERFACE ${SONIMO_PORTABLE_LAYERS})
target_include_directories(sonimo_engine INTERFACE ${CMAKE_SOURCE_DIR}/src)

# --- Win32 ------------------------------------------------------------------
if(WIN32)
  set(SONIMO_WIN32_BASE platform platform/win32 tone synth audio)
  # the converting (ACM) file readers
  sonimo_layer(audio_win32 SOURCES src/audio/win32/*.cpp SEES ${SONIMO_WIN32_BASE} audio/win32
    LINKS sonimo_audio msacm32 winmm)
  # the device catalogue, the sound player, waveOut and DirectSound
  sonimo_layer(playback SOURCES src/audio/playback/*.cpp SEES ${SONIMO_WIN32_BASE} audio/playback
    LINKS sonimo_audio winmm ole32 uuid)
  # the main window, its controls and dialogs
  sonimo_layer(ui_win32 SOURCES src/ui/win32/*.cpp
    SEES ${SONIMO_WIN32_BASE} audio/playback ui ui/win32
    LINKS sonimo_ui sonimo_playback
          user32 gdi32 comctl32 comdlg32 msimg32 windowscodecs ole32 uuid shell32 advapi32)
  # the process: single instance, settings folder, the registry store
  sonimo_layer(app SOURCES src/app/*.cpp
    SEES ${SONIMO_WIN32_BASE} audio/playback ui ui/win32 app
    LINKS sonimo_ui_win32 advapi32 shell32 ole32)
  # the program's entry sees every layer
  sonimo_view(program ${SONIMO_WIN32_BASE} measure audio/win32 audio/playback ui ui/win32 app)

  add_library(sonimo_win32 INTERFACE)
  target_link_libraries(sonimo_win32 INTERFACE sonimo_engine sonimo_audio_win32 sonimo_playback sonimo_ui_win32
                                               sonimo_app)
endif()

# --- the command-line tool's commands, for the tool, the tests and the fuzzers ---
set(SONIMO_CLI_SEES platform tone synth audio measure ui)
set(SONIMO_CLI_LINKS sonimo_measure sonimo_ui)
if(WIN32)
  list(APPEND SONIMO_CLI_SEES platform/win32 audio/win32 audio/playback)
  list(APPEND SONIMO_CLI_LINKS sonimo_audio_win32 sonimo_playback)
endif()
file(GLOB SONIMO_CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cli/*.cpp)
list(REMOVE_ITEM SONIMO_CLI_SOURCES ${CMAKE_SOURCE_DIR}/cli/main.cpp)
sonimo_view(cli ${SONIMO_CLI_SEES})
add_library(sonimo_cli_commands STATIC ${SONIMO_CLI_SOURCES})
target_include_directories(sonimo_cli_commands PRIVATE ${SONIMO_VIEWS}/cli)
target_compile_options(sonimo_cli_commands PRIVATE ${SONIMO_WARNINGS})
target_link_libraries(sonimo_cli_commands PUBLIC ${SONIMO_CLI_LINKS})
