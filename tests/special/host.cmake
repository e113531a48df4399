# The host program, run as a user runs it, and the test-only bundles it is
# tried on.
set(SOMNEL_TEST_SAVER_DIR ${CMAKE_BINARY_DIR}/test-savers)
somnel_add_saver(Broken PRINCIPAL SomnelBrokenView DIR ${SOMNEL_TEST_SAVER_DIR}
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/savers/broken.c ${CMAKE_CURRENT_SOURCE_DIR}/savers/broken-view.cpp)
add_executable(host_test ${CMAKE_CURRENT_SOURCE_DIR}/host_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
target_include_directories(host_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(host_test PRIVATE somnel_platform GTest::gtest GTest::gmock)
add_dependencies(host_test somnel Tester_saver Broken_saver)
add_test(NAME host_test COMMAND host_test)
set_tests_properties(host_test PROPERTIES
  ENVIRONMENT "${SOMNEL_TEST_ENV};SOMNEL_TEST_SAVER_DIR=${SOMNEL_TEST_SAVER_DIR}" TIMEOUT 300)

# A GL hack written to the mode-table interface, as a bundle (for runs of
# the host and the benchmarks) and linked into its end-to-end test.
somnel_add_saver(GLModeTest PRINCIPAL SomnelGLModeTestView DIR ${SOMNEL_TEST_SAVER_DIR}
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/savers/glmode.c ${CMAKE_CURRENT_SOURCE_DIR}/savers/glmode-view.cpp)
