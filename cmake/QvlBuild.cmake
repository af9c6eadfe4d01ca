# Build rules shared by every folder of the suite.
include(GNUInstallDirs)

set(QVL_WARNINGS -Wall -Wextra -Wnon-virtual-dtor -Wswitch)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # gcc 12 reports false overlaps inside libstdc++'s string code when optimising
    # (-Wrestrict on std::string concatenation); they are not ours to fix.
    list(APPEND QVL_WARNINGS -Wshadow=local -Wno-restrict)
endif()
if(QVL_WERROR)
    list(APPEND QVL_WARNINGS -Werror)
endif()
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:${QVL_WARNINGS}>")

if(QVL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

find_package(GTest REQUIRED)
include(GoogleTest)
if(QVL_BENCH)
    find_package(benchmark QUIET)
    if(NOT benchmark_FOUND)
        set(QVL_BENCH OFF)
    endif()
endif()
if(QVL_BUILD_UI)
    find_package(Qt6 QUIET COMPONENTS Core Gui Widgets DBus Test)
    if(NOT Qt6_FOUND)
        message(STATUS "Qt 6 not found: the Qt programs are not built")
        set(QVL_BUILD_UI OFF)
    endif()
endif()
if(QVL_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(STATUS "libFuzzer targets need clang: not built")
    set(QVL_FUZZ OFF)
endif()

# qvl_test(NAME SOURCES... LIBS ...): a GoogleTest executable registered with CTest.
# LABELS core marks tests that the sanitizer build runs.
function(qvl_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    set(labels ${T_LABELS})
    if(NOT labels)
        set(labels core)
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${labels}" TIMEOUT 300)
endfunction()

# qvl_fuzz(NAME SOURCES... LIBS ...): a libFuzzer target, built only with QVL_FUZZ.
function(qvl_fuzz name)
    if(NOT QVL_FUZZ)
        return()
    endif()
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
endfunction()

# qvl_bench(NAME SOURCES... LIBS ...): a Google Benchmark program (not a test).
function(qvl_bench name)
    if(NOT QVL_BENCH)
        return()
    endif()
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${B_SOURCES})
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()

# qvl_library_exports(TARGET SYMBOLS...): a shared library exports exactly these C names and
# nothing else. Besides a clean interface this keeps it unloadable: libstdc++'s template
# statics are "unique" symbols, and glibc never unloads a library that exports one.
function(qvl_library_exports target)
    set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}.exports")
    list(JOIN ARGN "; " names)
    file(CONFIGURE OUTPUT "${script}" CONTENT "{\n  global: ${names};\n  local: *;\n};\n")
    target_link_options(${target} PRIVATE "-Wl,--version-script=${script}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${script}")
endfunction()

# Text tables (qvl_add_texts) are provided by the language routines.
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/QvlTexts.cmake)
    include(QvlTexts)
endif()
