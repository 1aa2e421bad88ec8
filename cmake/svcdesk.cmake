# Helpers shared by every folder.

# svcdesk_library(<name> [DEPS libs...]): a static library of every *.cpp in the
# calling folder (an interface library while the folder has no sources yet).
function(svcdesk_library name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  # Program entry points (main.cpp, *_main.cpp) belong to executables, not the library.
  list(FILTER srcs EXCLUDE REGEX "(^|/)([a-z_]*_)?main\\.cpp$")
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${A_DEPS})
    # moc only where Qt is used; the core libraries know nothing of it.
    if(NOT "${A_DEPS}" MATCHES "Qt6::")
      set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${A_DEPS})
  endif()
endfunction()

# svcdesk_test(<name> [THREADED] [QT] LIBS libs... [SOURCES files...]): one gtest
# executable from every *.cpp of the calling folder (or the SOURCES given).
# THREADED tests also run under ThreadSanitizer.
set_property(GLOBAL PROPERTY SVCDESK_THREADED_TESTS "")
function(svcdesk_test name)
  cmake_parse_arguments(A "THREADED;QT" "TIMEOUT" "LIBS;SOURCES" ${ARGN})
  if(A_SOURCES)
    set(srcs ${A_SOURCES})
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE SVCDESK_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
                                             SVCDESK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             SVCDESK_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT A_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set(labels unit)
  if(A_THREADED)
    list(APPEND labels threaded)
    set_property(GLOBAL APPEND PROPERTY SVCDESK_THREADED_TESTS ${name})
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT ${A_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# svcdesk_fuzzer(<name> SOURCES files... LIBS libs...): a libFuzzer target with its
# seed corpus in fuzz/corpus/<name>; ctest runs it for SVCDESK_FUZZ_SECONDS.
function(svcdesk_fuzzer name)
  if(NOT SVCDESK_FUZZ)
    return()
  endif()
  cmake_parse_arguments(A "" "" "LIBS;SOURCES" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(seed ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  set(work ${PROJECT_BINARY_DIR}/fuzz-corpus/${name})
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${name} COMMAND ${name} -max_total_time=${SVCDESK_FUZZ_SECONDS} -rss_limit_mb=2048
                                 -timeout=10 -print_final_stats=1 ${work} ${seed})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp")
endfunction()

# svcdesk_bench(<name> SOURCES files... LIBS libs...): a Google Benchmark program.
function(svcdesk_bench name)
  if(NOT benchmark_FOUND)
    return()
  endif()
  cmake_parse_arguments(A "" "" "LIBS;SOURCES" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark Threads::Threads)
  set_property(GLOBAL APPEND PROPERTY SVCDESK_BENCHES ${name})
endfunction()
