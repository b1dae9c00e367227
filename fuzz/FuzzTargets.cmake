# The fuzz targets: "any", where the registry chooses the module as Parser does, and one per
# format module that bypasses the probe. A module's id is the name of its folder
# parser/formats/<id>/, so a module gets its target by being added there; the replay test
# of "any" fails when a registered module has no target.
set(CORVANTA_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

# corvanta_fuzz_modules(VAR): the module ids, sorted.
function(corvanta_fuzz_modules out)
  set(formats ${PROJECT_SOURCE_DIR}/parser/formats)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${formats} CONFIGURE_DEPENDS ${formats}/*)
  set(ids)
  foreach(child ${children})
    if(IS_DIRECTORY ${formats}/${child})
      list(APPEND ids ${child})
    endif()
  endforeach()
  list(SORT ids)
  set(${out} ${ids} PARENT_SCOPE)
endfunction()

# corvanta_add_fuzz_entry(EXECUTABLE TARGET): compiles the entry function
# LLVMFuzzerTestOneInput of fuzz target TARGET ("any" or a module id) into EXECUTABLE.
function(corvanta_add_fuzz_entry executable target)
  target_sources(${executable} PRIVATE
    ${CORVANTA_FUZZ_DIR}/FuzzTarget.cpp ${CORVANTA_FUZZ_DIR}/FuzzAnalysis.h ${CORVANTA_FUZZ_DIR}/FuzzAnalysis.cpp)
  target_include_directories(${executable} PRIVATE ${CORVANTA_FUZZ_DIR})
  target_link_libraries(${executable} PRIVATE corvanta_parser SQLite::SQLite3)
  if(NOT target STREQUAL "any")
    target_compile_definitions(${executable} PRIVATE CORVANTA_FUZZ_MODULE="${target}")
  endif()
endfunction()

# The codec targets, one per line "<id> <record type>" of codec-targets.txt: each feeds its input
# to one codec's frame decoder (CodecFuzzTarget.cpp), without a format module.
# corvanta_fuzz_codecs(VAR): their ids.
function(corvanta_fuzz_codecs out)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CORVANTA_FUZZ_DIR}/codec-targets.txt)
  file(STRINGS ${CORVANTA_FUZZ_DIR}/codec-targets.txt lines REGEX "^codec-")
  set(ids)
  foreach(line ${lines})
    string(REGEX MATCH "^[^ ]+" id "${line}")
    list(APPEND ids ${id})
  endforeach()
  set(${out} ${ids} PARENT_SCOPE)
endfunction()

# corvanta_add_codec_fuzz_entry(EXECUTABLE ID): compiles the entry function of codec target ID.
function(corvanta_add_codec_fuzz_entry executable id)
  file(STRINGS ${CORVANTA_FUZZ_DIR}/codec-targets.txt lines REGEX "^${id} ")
  string(REGEX REPLACE "^[^ ]+ +" "" record "${lines}")
  target_sources(${executable} PRIVATE
    ${CORVANTA_FUZZ_DIR}/CodecFuzzTarget.cpp ${CORVANTA_FUZZ_DIR}/FuzzAnalysis.h ${CORVANTA_FUZZ_DIR}/FuzzAnalysis.cpp)
  target_include_directories(${executable} PRIVATE ${CORVANTA_FUZZ_DIR})
  target_link_libraries(${executable} PRIVATE corvanta_parser SQLite::SQLite3)
  target_compile_definitions(${executable} PRIVATE CORVANTA_FUZZ_CODEC="${id}" CORVANTA_FUZZ_CODEC_RECORD="${record}")
endfunction()
