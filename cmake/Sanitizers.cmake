# QUILLON_SANITIZE=address,undefined (or thread, or any list -fsanitize takes) instruments every
# target of ours: the program, the driver libraries it loads, the tests and the benchmarks. Any
# finding fails the process (ASan and UBSan stop at the first, TSan exits non-zero after its
# reports), so a test cannot pass over one.
#
# The runtime options and the suppressions of third-party findings (sanitizers/*.supp) are
# compiled into each executable, so ctest, a test's child processes and a hand-run program all
# behave the same without setting variables. Variables still override them.
set(QUILLON_SANITIZE "" CACHE STRING
  "Sanitizers to build with, e.g. address,undefined or thread (empty: none)")

if(NOT QUILLON_SANITIZE)
  function(quillon_sanitize_executables)
  endfunction()
  return()
endif()

string(REPLACE "," ";" _quillon_sanitizers "${QUILLON_SANITIZE}")
if("thread" IN_LIST _quillon_sanitizers AND "address" IN_LIST _quillon_sanitizers)
  message(FATAL_ERROR "QUILLON_SANITIZE: thread and address cannot be combined; build them apart")
endif()

add_compile_options(-fsanitize=${QUILLON_SANITIZE} -fno-sanitize-recover=all
  -fno-omit-frame-pointer)
# The instrumentation misleads g++'s flow analysis inside the standard headers (<regex>); the
# plain build still checks this warning.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-maybe-uninitialized)
endif()
add_link_options(-fsanitize=${QUILLON_SANITIZE})

# The defaults each executable carries, read back from the repository at configure time.
set(_quillon_supp_dir ${PROJECT_SOURCE_DIR}/sanitizers)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${_quillon_supp_dir}/lsan.supp ${_quillon_supp_dir}/tsan.supp
  ${_quillon_supp_dir}/SanitizerDefaults.cpp.in)
file(READ ${_quillon_supp_dir}/lsan.supp QUILLON_LSAN_SUPPRESSIONS)
file(READ ${_quillon_supp_dir}/tsan.supp QUILLON_TSAN_SUPPRESSIONS)
configure_file(${_quillon_supp_dir}/SanitizerDefaults.cpp.in
  ${PROJECT_BINARY_DIR}/SanitizerDefaults.cpp @ONLY)
add_library(quillon_sanitizer_defaults OBJECT ${PROJECT_BINARY_DIR}/SanitizerDefaults.cpp)

# Called last: gives every executable defined so far the compiled-in defaults. The runtime looks
# them up in the executable only, so the shared libraries do without.
function(quillon_sanitize_executables)
  set(dirs ${PROJECT_SOURCE_DIR})
  while(dirs)
    list(POP_FRONT dirs dir)
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subdirs})
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type STREQUAL "EXECUTABLE")
        target_sources(${target} PRIVATE $<TARGET_OBJECTS:quillon_sanitizer_defaults>)
      endif()
    endforeach()
  endwhile()
endfunction()
