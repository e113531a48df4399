# The configuration sheet on screen: QTest clicks, types and drags over real
# widgets; the whole Drizzle sheet from its description (Drizzle's sources
# are compiled in, as its bundle does); the host's Options button and
# "somnel configure" (the host's option code is compiled in, and the
# program itself is run).
find_package(Qt6 REQUIRED COMPONENTS Test)
file(GLOB SHEET_DRIZZLE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/hacks/glx/drizzle*.cpp)
add_executable(sheet_test ${CMAKE_CURRENT_SOURCE_DIR}/sheet_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/sheet_bindings.cpp ${SHEET_DRIZZLE_SOURCES}
  ${CMAKE_SOURCE_DIR}/host/options.cpp ${CMAKE_SOURCE_DIR}/host/bundles.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
target_include_directories(sheet_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support ${CMAKE_SOURCE_DIR}/host)
target_link_libraries(sheet_test PRIVATE somnel_framework Qt6::Test GTest::gtest GTest::gmock)
target_compile_definitions(sheet_test PRIVATE
  SOMNEL_BUILD_SAVER_DIR="${SOMNEL_SAVER_DIR}" SOMNEL_INSTALL_SAVER_DIR="${CMAKE_INSTALL_PREFIX}/share/somnel/savers"
  DRIZZLE_XML="${CMAKE_SOURCE_DIR}/hacks/config/drizzle.xml")
set_target_properties(sheet_test PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(sheet_test somnel Tester_saver)
add_test(NAME sheet_test COMMAND sheet_test)
set_tests_properties(sheet_test PROPERTIES ENVIRONMENT "${SOMNEL_TEST_ENV}" TIMEOUT 300)
