# The Win32 headers (<windows.h> and the other <win*.h>, <shellapi.h>, ...) are
# included only in windows/, the resource scripts and the Wine tools of
# tests/wine: everything else builds without them. Lists every include that
# breaks this and fails when there is one.
# Usage: cmake -DKVL_SOURCE_DIR=DIR -P win32_headers.cmake
if(NOT IS_DIRECTORY "${KVL_SOURCE_DIR}")
  message(FATAL_ERROR "KVL_SOURCE_DIR is not a folder: \"${KVL_SOURCE_DIR}\"")
endif()
# The build folders (with their Wine prefixes) are left out before the search.
file(GLOB top RELATIVE "${KVL_SOURCE_DIR}" "${KVL_SOURCE_DIR}/*")
set(sources "")
foreach(d ${top})
  if(NOT IS_DIRECTORY "${KVL_SOURCE_DIR}/${d}" OR d MATCHES "^(build|\\.)")
    continue()
  endif()
  file(GLOB_RECURSE found RELATIVE "${KVL_SOURCE_DIR}" "${KVL_SOURCE_DIR}/${d}/*.cpp"
    "${KVL_SOURCE_DIR}/${d}/*.h" "${KVL_SOURCE_DIR}/${d}/*.rc")
  list(APPEND sources ${found})
endforeach()
set(win32_include
  "#[ \t]*include[ \t]*[<\"]([Ww][Ii][Nn][A-Za-z0-9_]*|shellapi|commctrl|commdlg|shlobj|setupapi)\\.h[>\"]")
set(scanned 0)
set(found "")
foreach(f ${sources})
  if(f MATCHES "^(windows|tests/wine)/" OR f MATCHES "\\.rc$")
    continue()
  endif()
  math(EXPR scanned "${scanned} + 1")
  file(STRINGS "${KVL_SOURCE_DIR}/${f}" lines REGEX "${win32_include}")
  foreach(line ${lines})
    string(APPEND found "\n  ${f}: ${line}")
  endforeach()
endforeach()
if(scanned LESS 50)
  message(FATAL_ERROR "only ${scanned} source files found under ${KVL_SOURCE_DIR}")
endif()
if(found)
  message(FATAL_ERROR "Win32 headers outside windows/:${found}")
endif()
message(STATUS "${scanned} source files outside windows/ include no Win32 header")
