# bw_add_qtest(<name> LABEL unit|gui|integration SOURCES ... LIBS ...)
# One QtTest executable per tested class, registered with ctest under its label;
# each links the helpers of tests/support.
function(bw_add_qtest name)
    cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE bw_options Qt5::Test bw_test_support ${T_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    # Every test, and every program it starts, logs into one folder of the
    # build tree: emptied before a run, searched for secrets after it.
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;BRINDLEWICK_LOG_DIR=${BW_TEST_LOG_DIR};${T_ENV}"
        FIXTURES_REQUIRED bw_test_logs)
endfunction()

# The log folder of test runs (see above) and the test that empties it first.
set(BW_TEST_LOG_DIR ${CMAKE_BINARY_DIR}/test-logs)
if(BW_BUILD_TESTS)
    add_test(NAME bw_test_logs_reset COMMAND ${CMAKE_COMMAND} -E rm -rf ${BW_TEST_LOG_DIR})
    set_tests_properties(bw_test_logs_reset PROPERTIES FIXTURES_SETUP bw_test_logs)
endif()
