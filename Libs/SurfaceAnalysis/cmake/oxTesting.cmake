# How every test folder registers its tests, fuzz targets and benchmarks.

# One executable per class or concern, on Qt Test, headless. Process-wide host configuration
# (the analysis application mode) is fixed per executable.
function(ox_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test oxTesting ${ARG_LIBS})
    # Each run starts from empty user settings of its own, never the user's.
    add_test(NAME ${name} COMMAND sh -c "rm -rf \"$XDG_CONFIG_HOME\" && exec \"$0\"" $<TARGET_FILE:${name}>)
    set(env "QT_QPA_PLATFORM=offscreen" "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/config-${name}")
    if(OX_SANITIZE)
        list(APPEND env "LSAN_OPTIONS=suppressions=${OX_LSAN_SUPPRESSIONS}:print_suppressions=0"
                        "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
                        "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    endif()
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "${env}" TIMEOUT 300)
endfunction()

# libFuzzer targets, built with OX_FUZZ (clang). Each runs briefly as a test: new inputs go to a
# fresh folder under the build tree, the committed seeds (corpus/<name> beside the source) are
# only read.
set(OX_FUZZ_SECONDS 25 CACHE STRING "Seconds each fuzz target runs as a test")
function(ox_add_fuzzer name)
    if(NOT OX_FUZZ)
        return()
    endif()
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    add_executable(${name} ${name}.cpp)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE oxTesting ${ARG_LIBS})
    set(work ${CMAKE_CURRENT_BINARY_DIR}/corpus-${name})
    add_test(NAME ${name}
             COMMAND ${CMAKE_COMMAND} -E env
                     QT_QPA_PLATFORM=offscreen
                     "LSAN_OPTIONS=suppressions=${OX_LSAN_SUPPRESSIONS}:print_suppressions=0"
                     "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
                     sh -c "rm -rf '${work}' && mkdir -p '${work}' && exec \"$0\" \"$@\""
                     $<TARGET_FILE:${name}> -max_total_time=${OX_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
                     -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/${name}- -print_final_stats=1
                     ${work} ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
    set_tests_properties(${name} PROPERTIES LABELS "fuzz" TIMEOUT 300)
endfunction()

# Speed figures (make bench runs every bench_* program) on Google Benchmark where it is installed.
find_package(benchmark QUIET)
