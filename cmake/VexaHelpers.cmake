# Helpers shared by every folder.

# vexa_library(NAME [MODULE] [HIDDEN] [TEST] SOURCES ... [LIBS ...])
# A shared library (or a dlopen-only module) placed in lib/vexa/ with an
# RPATH that finds its siblings both in the build tree and after install.
# HIDDEN builds it with hidden symbol visibility: only what its headers mark
# with an export macro (platform/base/Export.h) is exported. TEST marks a
# stand-in that only the tests load: it is built with the tests and never
# installed.
function(vexa_library name)
  cmake_parse_arguments(A "MODULE;HIDDEN;TEST" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
  if(A_TEST AND NOT VEXA_BUILD_TESTS)
    return()
  endif()
  if(A_MODULE)
    add_library(${name} MODULE ${A_SOURCES})
  else()
    add_library(${name} SHARED ${A_SOURCES})
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(A_LIBS)
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  endif()
  if(A_PRIVATE_LIBS)
    target_link_libraries(${name} PRIVATE ${A_PRIVATE_LIBS})
  endif()
  if(A_HIDDEN)
    set(visibility hidden)
    set(inlines_hidden ON)
    # Standard-library template instantiations stay local too.
    target_link_options(${name} PRIVATE
      "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/hidden-std.map")
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/hidden-std.map)
  else()
    set(visibility default)
    set(inlines_hidden OFF)
  endif()
  set_target_properties(${name} PROPERTIES
    INSTALL_RPATH "$ORIGIN"
    CXX_VISIBILITY_PRESET ${visibility}
    C_VISIBILITY_PRESET ${visibility}
    VISIBILITY_INLINES_HIDDEN ${inlines_hidden})
  if(A_TEST)
    set_property(GLOBAL APPEND PROPERTY VEXA_TEST_LIBRARIES ${name})
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY VEXA_SHIPPED_LIBRARIES ${name})
  install(TARGETS ${name}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/vexa
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# vexa_program(NAME SOURCES ... [LIBS ...]) — a program in bin/.
function(vexa_program name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(A_LIBS)
    target_link_libraries(${name} PRIVATE ${A_LIBS})
  endif()
  set_target_properties(${name} PROPERTIES
    INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}/vexa")
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# vexa_test(NAME SOURCES ... [LIBS ...] [LABELS ...])
# A GoogleTest binary run by CTest. Test binaries live in the build tree only
# (tests/ under the build folder) and find the libraries through lib/vexa.
# Each starts in a private environment (tests/support/TestEnvironment.cpp).
function(vexa_test name)
  if(NOT VEXA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main pthread vexa_test_environment)
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    BUILD_WITH_INSTALL_RPATH OFF
    BUILD_RPATH "${VEXA_LIB_DIR}")
  target_compile_definitions(${name} PRIVATE
    VEXA_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    VEXA_BUILD_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "VEXA_BUILD_DIR=${CMAKE_BINARY_DIR}"
    TIMEOUT 600)
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
  if(VEXA_SANITIZE)
    # The sanitizer runtime's hook on __tls_get_addr takes a thread-local block
    # of a shared library whose address ends in 0x010 for one laid out by an
    # older glibc and reads the two words before it as its bounds; the leak
    # check at exit then dies scanning that range ("Tracer caught signal 11").
    # Without the hook those blocks are ordinary heap blocks, found through
    # the thread's own TLS, so leaks are still reported. An environment
    # modification, so a folder's own ENVIRONMENT keeps it; the programs a
    # test starts inherit it.
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_append::intercept_tls_get_addr=0")
  endif()
endfunction()

# vexa_registry_script(FILE) — stage a server's registry script into
# share/vexa/registry/ and install it there.
function(vexa_registry_script file)
  get_filename_component(base ${file} NAME)
  configure_file(${file} ${VEXA_SHARE_DIR}/registry/${base} COPYONLY)
  install(FILES ${file} DESTINATION ${CMAKE_INSTALL_DATADIR}/vexa/registry)
endfunction()
