# The installed tree, tried as a new user would: install into a temporary
# prefix, then run the installed program with the build tree out of reach.
add_executable(install_test ${CMAKE_CURRENT_SOURCE_DIR}/install_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
target_include_directories(install_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(install_test PRIVATE somnel_platform GTest::gtest GTest::gmock)
add_dependencies(install_test somnel Drizzle_saver Tester_saver)
add_test(NAME install_test COMMAND install_test)
set_tests_properties(install_test PROPERTIES
  ENVIRONMENT "${SOMNEL_TEST_ENV};SOMNEL_BUILD_DIR=${CMAKE_BINARY_DIR};SOMNEL_CMAKE=${CMAKE_COMMAND};SOMNEL_LIBDIR=${CMAKE_INSTALL_LIBDIR}"
  TIMEOUT 300)
