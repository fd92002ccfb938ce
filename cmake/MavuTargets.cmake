# Every folder holds one library made of all its .cpp files, so adding a file needs
# no build edit. Tests follow a naming rule that gives their ctest label:
#   *_test.cpp          unit     (virtual time, doubles only)
#   *_backend_test.cpp  backend  (a Linux backend against real things the test makes)
# Whole-program tests live in tests/system and carry the label system.

# mavu_library(NAME [LIBS ...]): a static library of this folder's sources.
function(mavu_library name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARG_LIBS})
    endif()
endfunction()

# mavu_add_test(TARGET LABEL TIMEOUT [ENV ...]): runs a test program under ctest. The
# programs' main (tests/support/TestMain.cpp) exits with 77 when a case skipped, which
# ctest then shows as skipped rather than passed. (SKIP_REGULAR_EXPRESSION would match a
# skip line even in a program that failed, and count the failure as a skip.)
function(mavu_add_test target label timeout)
    cmake_parse_arguments(ARG "" "" "ENV" ${ARGN})
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS ${label} TIMEOUT ${timeout}
        SKIP_RETURN_CODE 77)
    if(ARG_ENV)
        set_tests_properties(${target} PROPERTIES ENVIRONMENT "${ARG_ENV}")
    endif()
endfunction()

# mavu_tests(PREFIX [LIBS ...] [ENV ...]): one executable per label for this folder's tests.
function(mavu_tests prefix)
    cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS;ENV" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    file(GLOB backend CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_backend_test.cpp)
    file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    set(unit ${all})
    if(backend)
        list(REMOVE_ITEM unit ${backend})
    endif()
    foreach(kind unit backend)
        if(${kind})
            set(target ${prefix}_${kind}_tests)
            add_executable(${target} ${${kind}})
            target_link_libraries(${target} PRIVATE ${ARG_LIBS} mavu_test_support)
            mavu_add_test(${target} ${kind} ${ARG_TIMEOUT} ENV ${ARG_ENV})
        endif()
    endforeach()
endfunction()
