# The linking test: a program holding both the real libX11 (in its own
# translation unit) and the emulation.
add_executable(linking_test
  ${CMAKE_CURRENT_SOURCE_DIR}/linking_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/linking/real_x.c
  ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
target_include_directories(linking_test PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/support ${CMAKE_CURRENT_SOURCE_DIR}/linking)
target_link_libraries(linking_test PRIVATE somnel_framework PkgConfig::X11 GTest::gtest GTest::gmock)
set_target_properties(linking_test PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(linking_test Tester_saver)
add_test(NAME linking_test COMMAND linking_test)
set_tests_properties(linking_test PROPERTIES ENVIRONMENT "${SOMNEL_TEST_ENV}" TIMEOUT 300)
