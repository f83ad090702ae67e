# Shared compile settings and the helpers every folder uses.

add_library(zop_warnings INTERFACE)
target_compile_options(zop_warnings INTERFACE -Wall -Wextra -Werror)
# GCC 12 at -O3 reports overlapping copies inside std::string's
# operator+(const char*, std::string&&) that cannot happen (GCC bug 105651).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(zop_warnings INTERFACE -Wno-restrict)
endif()

if(ZOP5_SANITIZE)
  add_compile_options(-fsanitize=${ZOP5_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ZOP5_SANITIZE})
endif()

# zop_library(NAME SOURCES... [LINKS libs...]): a static library of ours.
function(zop_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE zop_warnings)
endfunction()

# zop_test(NAME [QT] SOURCES... [LINKS libs...] [LABELS labels...]): one GoogleTest
# executable registered with CTest. Every test runs with its own configuration
# folder and with COM1..COM4 mapped to "no device" unless the test maps them
# itself (tests/support/TestMain.cpp). QT gives the suite a QApplication.
function(zop_test name)
  if(NOT ZOP5_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "QT" "TIMEOUT" "SOURCES;LINKS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_QT)
    set(entry zop_qt_test_main)
  else()
    set(entry zop_test_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} ${entry} GTest::gtest GTest::gmock zop_warnings)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${props}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
