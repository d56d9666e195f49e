# cmake -DTOP=<repository> -P CheckIncludes.cmake
# Fails when a quoted include in src/ or cli/ is named relative to the including file
# through a subfolder or "..": the compiler finds those beside the file, past the
# layer's view of src/ (see SonimoLayers.cmake). Names from src/'s root, and files of
# the including file's own folder, are what the views can judge.
if(NOT TOP)
  message(FATAL_ERROR "usage: cmake -DTOP=<repository> -P CheckIncludes.cmake")
endif()
file(GLOB_RECURSE files ${TOP}/src/*.h ${TOP}/src/*.cpp ${TOP}/cli/*.h ${TOP}/cli/*.cpp)
set(bad "")
foreach(file IN LISTS files)
  get_filename_component(dir ${file} DIRECTORY)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" name "${line}")
    if(name MATCHES "(^|/)\\.\\.(/|$)" OR name MATCHES "^/" OR (name MATCHES "/" AND EXISTS ${dir}/${name}))
      file(RELATIVE_PATH where ${TOP} ${file})
      string(APPEND bad "  ${where}: #include \"${name}\"\n")
    endif()
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "includes named relative to their file; name them from src/:\n${bad}")
endif()
