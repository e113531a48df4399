# A mode-table GL hack run end to end through the mode layer and the GL view.
add_executable(modehost_gl_test ${CMAKE_CURRENT_SOURCE_DIR}/modehost_gl_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/savers/glmode.c ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
target_include_directories(modehost_gl_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(modehost_gl_test PRIVATE somnel_framework GTest::gtest GTest::gmock)
set_target_properties(modehost_gl_test PROPERTIES ENABLE_EXPORTS ON)
add_test(NAME modehost_gl_test COMMAND modehost_gl_test)
set_tests_properties(modehost_gl_test PROPERTIES ENVIRONMENT "${SOMNEL_TEST_ENV}" TIMEOUT 300)
