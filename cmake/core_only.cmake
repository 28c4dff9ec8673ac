# The parts of the program that need no Qt: the text conversion, the metadata
# reader with the maker notes, daredazi-info and the metadata tests. Included
# by the top-level CMakeLists.txt when DAREDAZI_CORE_ONLY is on.
set(src ${CMAKE_SOURCE_DIR}/src)
set(DAREDAZI_TESTDATA_DIR "${CMAKE_SOURCE_DIR}/../shared/testdata" CACHE PATH "Folder of real sample pictures (tests skip when absent)")

if(MINGW)
  # One self-contained program each: no MinGW run-time DLLs to ship.
  add_link_options(-static)
endif()

add_library(daredazi_text STATIC ${src}/platform/text_codec.cpp)
target_include_directories(daredazi_text PUBLIC ${src})
if(NOT WIN32)
  find_package(Iconv REQUIRED)
  target_link_libraries(daredazi_text PUBLIC Iconv::Iconv)
endif()

file(GLOB core_metadata_sources CONFIGURE_DEPENDS ${src}/metadata/*.cpp ${src}/metadata/makernotes/*.cpp)
add_library(daredazi_metadata STATIC ${core_metadata_sources})
target_link_libraries(daredazi_metadata PUBLIC daredazi_text)

add_executable(daredazi-info ${CMAKE_SOURCE_DIR}/tools/daredazi_info.cpp)
target_link_libraries(daredazi-info PRIVATE daredazi_metadata)
if(MINGW)
  target_link_options(daredazi-info PRIVATE -municode)  # wmain: UTF-16 arguments
endif()

if(DAREDAZI_TESTS)
  # GoogleTest from its sources (Debian's googletest package), so it is built
  # for the same target as the tests.
  set(DAREDAZI_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source folder")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${DAREDAZI_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)

  file(GLOB_RECURSE core_test_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/metadata/*.cpp
    ${CMAKE_SOURCE_DIR}/tests/platform/text_*.cpp)
  add_executable(test_metadata ${core_test_sources} ${CMAKE_SOURCE_DIR}/tests/support/test_support.cpp)
  target_include_directories(test_metadata PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(test_metadata PRIVATE DAREDAZI_CORE_ONLY
    DAREDAZI_TESTDATA_DIR="${DAREDAZI_TESTDATA_DIR}")
  target_link_libraries(test_metadata PRIVATE daredazi_metadata gtest_main)
  enable_testing()
  add_test(NAME test_metadata COMMAND test_metadata)
endif()
