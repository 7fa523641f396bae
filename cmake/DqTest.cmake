# Targets of the test suites and benchmarks. Every GoogleTest program is made
# by dq_add_gtest, every benchmark by dq_add_bench; both stop the
# configuration when a target they need is not there, so that a renamed or
# missing folder is an error, not a smaller suite.
include_guard(GLOBAL)

# Stops the configuration unless every name is a target. `what` names the
# one that needs them.
function(dq_require_targets what)
  foreach(name ${ARGN})
    if(NOT TARGET ${name})
      message(FATAL_ERROR "${what} needs the target ${name}, which is not defined")
    endif()
  endforeach()
endfunction()

# Every link item must be a target, but for generator expressions, flags and
# the system libraries the suites link by name.
function(_dq_require_link_targets what)
  set(system_libraries ${CMAKE_DL_LIBS} util rt)
  foreach(item ${ARGN})
    if(item MATCHES "^\\$<" OR item MATCHES "^-" OR item IN_LIST system_libraries)
      continue()
    endif()
    dq_require_targets(${what} ${item})
  endforeach()
endfunction()

# Options shared by dq_add_gtest and dq_add_bench: the program's sources,
# libraries, targets built before it, compile definitions, its folder and
# the folder it looks its shared libraries up in (BUILD_RPATH).
function(_dq_add_program name kind)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "OUTPUT_DIR;RPATH" "SOURCES;LIBS;DEPENDS;DEFINITIONS")
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "${kind} ${name} lists no sources")
  endif()
  _dq_require_link_targets("${kind} ${name}" ${arg_LIBS})
  dq_require_targets("${kind} ${name}" ${arg_DEPENDS})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS})
  if(arg_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${arg_DEFINITIONS})
  endif()
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()
  if(DEFINED arg_OUTPUT_DIR)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${arg_OUTPUT_DIR}")
  endif()
  if(DEFINED arg_RPATH)
    set_target_properties(${name} PROPERTIES BUILD_RPATH "${arg_RPATH}")
  endif()
endfunction()

# dq_add_gtest(<name> SOURCES <file>...
#              [LIBS <lib>...] [DEPENDS <target>...] [DEFINITIONS <def>...]
#              [OUTPUT_DIR <folder>] [RPATH <folder>] [OWN_MAIN]
#              [ENVIRONMENT <VAR=value>...] [LABELS <label>...])
# A GoogleTest program, linked with gtest_main unless OWN_MAIN, whose tests
# ctest lists when it runs them (the program may need libraries built
# beside it first). Without OUTPUT_DIR the program lands in the common
# output folder.
function(dq_add_gtest name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "OWN_MAIN" "OUTPUT_DIR;RPATH"
                        "SOURCES;LIBS;DEPENDS;DEFINITIONS;ENVIRONMENT;LABELS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "dq_add_gtest(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set(libraries ${arg_LIBS} GTest::gtest)
  if(NOT arg_OWN_MAIN)
    list(APPEND libraries GTest::gtest_main)
  endif()
  set(forwarded SOURCES ${arg_SOURCES} LIBS ${libraries} DEPENDS ${arg_DEPENDS} DEFINITIONS ${arg_DEFINITIONS})
  if(DEFINED arg_OUTPUT_DIR)
    list(APPEND forwarded OUTPUT_DIR ${arg_OUTPUT_DIR})
  endif()
  if(DEFINED arg_RPATH)
    list(APPEND forwarded RPATH ${arg_RPATH})
  endif()
  _dq_add_program(${name} "Test program" ${forwarded})

  set(properties)
  if(arg_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${arg_ENVIRONMENT}")
  endif()
  if(arg_LABELS)
    list(APPEND properties LABELS "${arg_LABELS}")
  endif()
  if(properties)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
  endif()
endfunction()

# dq_add_bench(<name> SOURCES <file>... [LIBS <lib>...] [DEPENDS <target>...]
#              [DEFINITIONS <def>...])
# A benchmark, run by hand (never by ctest). It lands in the common output
# folder and finds the driver libraries and the simulator beside itself.
function(dq_add_bench name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBS;DEPENDS;DEFINITIONS")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "dq_add_bench(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  _dq_add_program(${name} "Benchmark" SOURCES ${arg_SOURCES} LIBS ${arg_LIBS} DEPENDS ${arg_DEPENDS}
                  DEFINITIONS ${arg_DEFINITIONS} RPATH "$ORIGIN")
endfunction()
