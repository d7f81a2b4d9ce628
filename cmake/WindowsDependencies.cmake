# Third-party libraries for the Windows cross build, under the same target names as the native
# build's packages, so that the rest of the build does not tell the two apart.
#
# Debian's nlohmann/json, spdlog and fmt are used header-only from the host's /usr/include, through
# a folder holding only links to their three directories (passing /usr/include itself would bring
# glibc's headers in front of mingw's). spdlog's package files would force its compiled Linux
# library, so no find_package here. spdlog's implementation is compiled once, in
# cmake/windows/spdlog_compiled.cpp; every other file sees declarations only.

# Windows finds a program's DLLs beside it: the programs and the framework library share a folder.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")

set(_deps_include "${CMAKE_BINARY_DIR}/third_party/include")
file(MAKE_DIRECTORY "${_deps_include}")
foreach(_dir nlohmann spdlog fmt)
  if(NOT EXISTS "/usr/include/${_dir}")
    message(FATAL_ERROR "/usr/include/${_dir} is missing: run scripts/setup")
  endif()
  file(CREATE_LINK "/usr/include/${_dir}" "${_deps_include}/${_dir}" SYMBOLIC)
endforeach()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${_deps_include}")

add_library(fmt::fmt INTERFACE IMPORTED)
set_target_properties(fmt::fmt PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${_deps_include}"
  INTERFACE_COMPILE_DEFINITIONS FMT_HEADER_ONLY)

add_library(palaverlink_spdlog_compiled STATIC "${CMAKE_CURRENT_LIST_DIR}/windows/spdlog_compiled.cpp")
target_include_directories(palaverlink_spdlog_compiled SYSTEM PUBLIC "${_deps_include}")
target_compile_definitions(palaverlink_spdlog_compiled PUBLIC
  SPDLOG_COMPILED_LIB SPDLOG_FMT_EXTERNAL FMT_HEADER_ONLY)
set_target_properties(palaverlink_spdlog_compiled PROPERTIES POSITION_INDEPENDENT_CODE ON)

add_library(spdlog::spdlog INTERFACE IMPORTED)
set_target_properties(spdlog::spdlog PROPERTIES
  INTERFACE_LINK_LIBRARIES "palaverlink_spdlog_compiled;fmt::fmt")

find_package(Threads REQUIRED)

# GoogleTest from Debian's sources, built for the target inside this build.
function(palaverlink_add_googletest)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "/usr/src/googletest is missing: run scripts/setup")
  endif()
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  foreach(_lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${_lib})
      add_library(GTest::${_lib} ALIAS ${_lib})
    endif()
  endforeach()
endfunction()
