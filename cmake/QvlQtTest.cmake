# qvl_qt_test(NAME SOURCES ... LIBS ...): a QtTest program registered with CTest under the label
# "ui" (the sanitizer run, label "core", skips them). It runs on the offscreen platform.
function(qvl_qt_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ui TIMEOUT 300
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
