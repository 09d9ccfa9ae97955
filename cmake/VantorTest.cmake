# SPDX-License-Identifier: MIT
# vantor_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>]
#                 [COST <s>])
# One Qt Test executable per unit, registered with CTest. COST, about the seconds a test takes,
# starts the longest first, so that a parallel run on a fresh tree does not end waiting on one.
function(vantor_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT;COST" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    # A test is one file, so merging gains nothing, and merged, the fixtures' members of
    # file-local types would trip -Wsubobject-linkage.
    set_target_properties(${name} PROPERTIES UNITY_BUILD OFF)
    # Tests are compiled far more often than they run long, so they build unoptimised (about a
    # third less compile time); the code under test keeps the tree's optimisation.
    target_compile_options(${name} PRIVATE -O0)
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    add_test(NAME ${name} COMMAND ${name})
    set(timeout 120)
    if(ARG_TIMEOUT)
        set(timeout ${ARG_TIMEOUT})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${timeout}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANTOR_SOURCE_DIR=${PROJECT_SOURCE_DIR};VANTOR_BINARY_DIR=${PROJECT_BINARY_DIR}")
    if(ARG_COST)
        set_tests_properties(${name} PROPERTIES COST ${ARG_COST})
    endif()
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()
