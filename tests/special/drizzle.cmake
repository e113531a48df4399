# Drizzle's sources belong to its bundle, not to somnel_framework, so the
# test program compiles them itself. The shader check runs the offline GLSL
# validator over the sources; it is its own CTest entry.
file(GLOB DRIZZLE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/hacks/glx/drizzle*.cpp)
file(GLOB DRIZZLE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/drizzle/*.cpp)
find_program(GLSLANG_VALIDATOR glslangValidator)
add_executable(drizzle_test ${CMAKE_CURRENT_SOURCE_DIR}/drizzle_test.cpp ${DRIZZLE_TEST_SOURCES}
  ${DRIZZLE_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
target_include_directories(drizzle_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support
  ${CMAKE_CURRENT_SOURCE_DIR}/drizzle)
target_link_libraries(drizzle_test PRIVATE somnel_framework GTest::gtest GTest::gmock)
if(GLSLANG_VALIDATOR)
  target_compile_definitions(drizzle_test PRIVATE DRIZZLE_GLSLANG_VALIDATOR="${GLSLANG_VALIDATOR}")
endif()
set_target_properties(drizzle_test PROPERTIES ENABLE_EXPORTS ON AUTOMOC ON)
# One test renders through the host program with the built bundle.
add_dependencies(drizzle_test somnel Drizzle_saver)
add_test(NAME drizzle_test COMMAND drizzle_test --gtest_filter=-DrizzleShaders.*)
add_test(NAME drizzle_glsl_test COMMAND drizzle_test --gtest_filter=DrizzleShaders.*)
set_tests_properties(drizzle_test drizzle_glsl_test PROPERTIES ENVIRONMENT "${SOMNEL_TEST_ENV}" TIMEOUT 300)
