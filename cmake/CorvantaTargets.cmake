# Helpers shared by the tests and benchmarks of every subsystem.

# corvanta_add_test(NAME SOURCES a.cpp ... LIBS lib ... [TIMEOUT seconds])
# A QtTest executable run headless by CTest. Each test gets a settings folder of
# its own so that no test ever reads or writes the user's real settings.
function(corvanta_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} corvanta_test_support Qt6::Test)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(settings_dir "${CMAKE_BINARY_DIR}/test-settings/${name}")
  file(MAKE_DIRECTORY "${settings_dir}")
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${settings_dir};CORVANTA_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data;ASAN_OPTIONS=detect_leaks=0")
endfunction()

# corvanta_add_benchmark(NAME SOURCES a.cpp ... LIBS lib ...)
# A plain program that prints its figures; never run by CTest.
function(corvanta_add_benchmark name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS})
endfunction()

# Adds every immediate sub-folder of the current source folder that has a CMakeLists.txt,
# so that each subsystem owns its own test and benchmark folder.
macro(corvanta_add_subfolders)
  file(GLOB _children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _children)
  foreach(_child ${_children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()
