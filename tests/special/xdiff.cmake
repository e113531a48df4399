# The differential drawing test: the same sequences drawn by the real X
# server (through libX11, in its own translation unit) and by the emulation.
add_executable(xdiff_test
  ${CMAKE_CURRENT_SOURCE_DIR}/xdiff_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/xdiff/real_x.c
  ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
target_include_directories(xdiff_test PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/support ${CMAKE_CURRENT_SOURCE_DIR}/xdiff)
target_link_libraries(xdiff_test PRIVATE somnel_framework PkgConfig::X11 GTest::gtest GTest::gmock)
set_target_properties(xdiff_test PROPERTIES ENABLE_EXPORTS ON AUTOMOC ON)
add_test(NAME xdiff_test COMMAND xdiff_test)
set_tests_properties(xdiff_test PROPERTIES ENVIRONMENT "${SOMNEL_TEST_ENV}" TIMEOUT 300)
