# GoogleTest for every build, and one helper that makes a test executable and
# registers its cases with CTest. Windows test executables run under Wine
# through CMAKE_CROSSCOMPILING_EMULATOR (cmake/wine-run).
if(QORVEL_FUZZ)
  return()
endif()

if(CMAKE_CROSSCOMPILING)
  # The cross builds compile GoogleTest from the system's sources.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# qorvel_add_test(NAME name SOURCES ... [LIBRARIES ...] [LABEL unit|win32] [GUI])
# LABEL tells the test layer; the default is "unit". Tests labelled win32
# drive real windows and never run alongside one another.
function(qorvel_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  set(lock)
  if(T_LABEL STREQUAL "win32")
    # Window tests share one display, its cursor and its focus: one at a time.
    set(lock RESOURCE_LOCK display)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBRARIES} GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} TIMEOUT 60 ${lock})
endfunction()
