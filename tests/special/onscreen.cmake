# What the X server shows for each on-screen mode of the real program:
# preview, full screen on two monitors, inside a foreign window, on the
# root window, on a scaled screen; and how signals end it. The test talks
# to the server through libX11 (its own translation unit) and starts a
# private server for the runs that need two monitors or the root window.
somnel_add_saver(Halves PRINCIPAL SomnelHalvesView DIR ${SOMNEL_TEST_SAVER_DIR}
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/savers/halves.c ${CMAKE_CURRENT_SOURCE_DIR}/savers/halves-view.cpp)
somnel_add_saver(GLHalves PRINCIPAL SomnelGLHalvesView DIR ${SOMNEL_TEST_SAVER_DIR}
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/savers/halves.c ${CMAKE_CURRENT_SOURCE_DIR}/savers/glhalves-view.cpp)
add_library(somnel_test_xserver STATIC ${CMAKE_CURRENT_SOURCE_DIR}/onscreen/xserver.c)
target_include_directories(somnel_test_xserver PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/onscreen)
target_link_libraries(somnel_test_xserver PUBLIC PkgConfig::X11)
add_executable(onscreen_test ${CMAKE_CURRENT_SOURCE_DIR}/onscreen_test.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
target_include_directories(onscreen_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(onscreen_test PRIVATE somnel_platform somnel_test_xserver GTest::gtest GTest::gmock)
add_dependencies(onscreen_test somnel Drizzle_saver Halves_saver GLHalves_saver)
add_test(NAME onscreen_test COMMAND onscreen_test)
set_tests_properties(onscreen_test PROPERTIES
  ENVIRONMENT "${SOMNEL_TEST_ENV};SOMNEL_TEST_SAVER_DIR=${SOMNEL_TEST_SAVER_DIR}" TIMEOUT 300)
# xshot WINDOW|root OUT.png: a picture of what the server shows, for looking.
add_executable(xshot ${CMAKE_CURRENT_SOURCE_DIR}/onscreen/xshot.cpp)
target_link_libraries(xshot PRIVATE somnel_test_xserver Qt6::Gui)
