# qelvo_add_test(<name> [QT] SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# Builds one GoogleTest executable and registers it with CTest, with the offscreen Qt
# platform so tests never need a display.  QT runs the tests inside a QApplication.
find_package(GTest REQUIRED)

function(qelvo_add_test name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(T_QT)
    add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/QtTestMain.cpp)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Widgets Qt6::Test GTest::gtest GTest::gmock)
  else()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    # Objectives stored by tests stay in the build folder, never in the user's configuration.
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QELVO_TEST=1;QELVO_OBJECTIVES_DIR=${CMAKE_BINARY_DIR}/test-objectives;QELVO_FLATFIELD_DIR=${CMAKE_BINARY_DIR}/test-flatfield"
    TIMEOUT 600
    LABELS "${T_LABELS}")
endfunction()
