# Element databases written by the parser's own writer, shared by the database and tree tests.
if(NOT TARGET corvanta_element_tree_fixture)
  add_library(corvanta_element_tree_fixture STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ElementTreeFixture.h ${CMAKE_CURRENT_LIST_DIR}/ElementTreeFixture.cpp)
  target_include_directories(corvanta_element_tree_fixture PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(corvanta_element_tree_fixture PUBLIC corvanta_parser Qt6::Sql Qt6::Test)
endif()
