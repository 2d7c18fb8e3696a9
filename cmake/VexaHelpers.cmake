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

# vexa_internal_library(NAME SOURCES ... [LIBS ...] [PRIVATE_LIBS ...])
# A static library of code that goes into modules and shared libraries,
# compiled as their own code is: hidden visibility, no unique global
# symbols (see vexa_component). The internals of every component are one.
function(vexa_internal_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(A_LIBS)
    target_link_libraries(${name} PUBLIC ${A_LIBS})
  endif()
  if(A_PRIVATE_LIBS)
    target_link_libraries(${name} PRIVATE ${A_PRIVATE_LIBS})
  endif()
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
endfunction()

# vexa_component(NAME MODULE|SHARED|PROGRAM
#                MODULE_SOURCES ... [INTERNAL_SOURCES ...]
#                [LIBS ...] [PRIVATE_LIBS ...] [MODULE_LIBS ...]
#                [PLAIN_SOURCES ... [PLAIN_LIBS ...] [PLAIN_PRIVATE_LIBS ...]])
# A component of the system: its code (INTERNAL_SOURCES) is the static
# library NAME_internals, which the component's tests, tools and benchmarks
# link to reach the parts that have no interface of their own; the thin
# deliverable NAME adds MODULE_SOURCES (its entry points: the class factory
# of a server, a plug-in's exports, a program's main) on top of it.
#   MODULE   a module the system loads by name from lib/vexa/ (no soname)
#   SHARED   a shared library in lib/vexa/ with a soname: programs and
#            modules may link it, the system may load it by name
#   PROGRAM  a program in bin/
# The deliverable of a module or shared library is built from every object
# of its internals (compiled once) and exports only what an export macro
# marks (hidden visibility, standard-library instantiations kept local).
# Both are compiled without unique global symbols (GCC's STB_GNU_UNIQUE),
# which would keep a module, and the libraries it brought in, loaded after
# dlclose.
# LIBS are needed by the internals' headers (public to NAME_internals and to
# NAME), PRIVATE_LIBS by the internals' code only; MODULE_LIBS are linked by
# the deliverable alone (public to a shared library's users): the other
# shared libraries it sits on, whose internals a test may link instead.
# PLAIN_SOURCES are the parts that need no widgets (models, caches, file and
# text routines): the static library NAME_plain, built on PLAIN_LIBS (its
# headers) and PLAIN_PRIVATE_LIBS (its code) alone, so that their tests link
# it without the widget stack; the internals sit on it and the deliverable
# takes its objects too.
function(vexa_component name)
  cmake_parse_arguments(A "MODULE;SHARED;PROGRAM" ""
    "MODULE_SOURCES;INTERNAL_SOURCES;LIBS;PRIVATE_LIBS;MODULE_LIBS;PLAIN_SOURCES;PLAIN_LIBS;PLAIN_PRIVATE_LIBS"
    ${ARGN})
  if(A_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vexa_component(${name}): unknown arguments ${A_UNPARSED_ARGUMENTS}")
  endif()
  set(internals ${name}_internals)
  set(library ON)
  if(A_PROGRAM)
    set(library OFF)
  endif()
  set(plain_lib "")
  if(A_PLAIN_SOURCES)
    set(plain_lib ${name}_plain)
    vexa_internal_library(${plain_lib} SOURCES ${A_PLAIN_SOURCES}
      LIBS ${A_PLAIN_LIBS} PRIVATE_LIBS ${A_PLAIN_PRIVATE_LIBS})
  endif()
  if(A_INTERNAL_SOURCES)
    if(library)
      vexa_internal_library(${internals} SOURCES ${A_INTERNAL_SOURCES}
        LIBS ${plain_lib} ${A_LIBS} PRIVATE_LIBS ${A_PRIVATE_LIBS})
    else()
      add_library(${internals} STATIC ${A_INTERNAL_SOURCES})
      target_include_directories(${internals} PUBLIC ${PROJECT_SOURCE_DIR})
      target_link_libraries(${internals} PUBLIC ${plain_lib} ${A_LIBS} PRIVATE ${A_PRIVATE_LIBS})
    endif()
  endif()

  if(A_PROGRAM)
    set(internals_lib ${plain_lib})
    if(A_INTERNAL_SOURCES)
      set(internals_lib ${internals})
    endif()
    vexa_program(${name} SOURCES ${A_MODULE_SOURCES} LIBS ${A_LIBS} ${internals_lib} ${A_MODULE_LIBS})
    return()
  endif()
  if(A_MODULE)
    set(kind MODULE)
  elseif(A_SHARED)
    set(kind "")
  else()
    message(FATAL_ERROR "vexa_component(${name}): MODULE, SHARED or PROGRAM")
  endif()
  # The objects of the internals go in whole; linking the internals too
  # brings what they need (a folder may add to them later: sources with
  # target_sources, libraries with target_link_libraries).
  set(objects "")
  set(internals_lib "")
  if(A_PLAIN_SOURCES)
    list(APPEND objects $<TARGET_OBJECTS:${plain_lib}>)
    list(APPEND internals_lib ${plain_lib})
  endif()
  if(A_INTERNAL_SOURCES)
    list(APPEND objects $<TARGET_OBJECTS:${internals}>)
    list(APPEND internals_lib ${internals})
  endif()
  vexa_library(${name} ${kind} HIDDEN
    SOURCES ${A_MODULE_SOURCES} ${objects}
    LIBS ${A_PLAIN_LIBS} ${A_LIBS} ${A_MODULE_LIBS}
    PRIVATE_LIBS ${internals_lib} ${A_PLAIN_PRIVATE_LIBS} ${A_PRIVATE_LIBS})
  target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
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
# The tests that take minutes, with their rough time under the sanitizers
# in seconds. CTest starts the costliest first, so a parallel run does not
# end waiting on one long test that happened to start last.
set(VEXA_TEST_COSTS
  engine_disc_hundred_tests=270 vexa_e2e_tests=235 vexa_drive_faults_tests=220
  vexawiz_disc_tests=215 engine_disc_tests=150 vexaprt_make_tool_tests=130
  core_end_to_end_tests=110 vexasdk_cli_tests=100 engine_tests=80
  vidlathe_cli_tests=80 vidlathe_motion_tests=75 vcd_mkimage_tests=55)

# The thread checker's run of the long tests: the cases that start, cancel
# and join the threads (pools, pipelines, burns, servers, dialogs), one of
# each kind of run, as GoogleTest filters. The cases that only vary what
# flows through the same threads (formats, sizes, checkers) run under
# AddressSanitizer all the same.
set(VEXA_TSAN_FILTERS
  "engine_tests=EngineTest.*:MenuBuilderTest.ThePoolMakes*:MenuBuilderTest.ACancelMidway*:MenuBuilderTest.TheFirstBroken*:BuilderTest.CancelDuringTheImageTrack:BuilderTest.CancelRacing*:BuilderTest.TheEndOfEveryRun*:BuilderTest.ACancelInTheMiddleOfThePremaster*:DrivesTest.TheClientStaysResponsive*:StoryboardTest.AStillGoesEverywhere*:StoryboardTest.PhotosMadeAheadTakeTheirMemory*"
  "vidlathe_motion_tests=MotionPieces.*:MotionStreams.CopyPicturesRepeatTheirIPicture:MotionStreams.AudioOtherThan44kIsRefused:MotionStreamCalls.*"
  "vidlathe_reader_tests=ConcatenateMotion.CancelAndWriteErrorsFailWithoutOutput:ConcatenateMotion.HoldsTheOneCallLock:Reencode.CancelStopsEveryThreadAndLeavesNoOutput"
  "vidlathe_stream_tests=StillStreams.Calls*:StillStreams.SourceEndingEarlyFailsWithoutOutput:StillStreams.WriteErrorFailsAndRemovesTheOutput:StillStreamsCheckers.AudioIsMultiplexedWithEveryFrameInOrder"
  "vidlathe_cli_tests=VidlatheCli.MotionWritesAValidMotionStream:VidlatheCli.TwoPhotosMakeAStillPairStream:VidlatheCliHardening.EncodingFailuresSayWhy"
  "vexasdk_cli_tests=CliTest.BlanksARewritable:CliTest.ListsTheSimulatedWriterWithItsCapabilities"
  "vcd_mkimage_tests=MkImageTest.OneStillPaddedToTheDiscsEnd:MkImageTest.AnOutputThatIsAnInputIsRefused"
  "kvprint_tests=ImageTest.PhotosAddedInARowAreWholeAndInOrderWhenRead:ImageTest.PhotosNamedAlikeKeepTheirOwnCopies:ProductsTest.PrintFrontFeedsTheProductsAndReportsTheirFailures"
  "discpakb_tests=Mp3Test.TwoReadersOnTwoThreads:FactoryTest.*"
  "imgutil_tests=ImgUtilTest.DerivativesOfALargePhoto:ImgUtilTest.CallsThroughIDispatch:ImgUtilTest.TitleInMemoryPlacesEachLine:ImgUtilTest.TextOnTheSurface"
  "core_end_to_end_tests=EndToEndTest.ThePhotoShowBarFollowsTheEnginesWorkAndCancelStopsIt"
  "vexa_e2e_tests=EndToEndTest.NestedFoldersBeyondAsciiMakeADiscWhoseManifestsPointAtItsFiles"
  "engine_disc_tests=DiscTest.CancelsAtEveryPhase")

# How long CTest lets a test program run. The bounds are for a machine
# several times busier than its processors, where the long tests take five
# to ten times their quiet time: a test that hangs is ended sooner by the
# bounded waits inside it, which say what they waited for.
set(VEXA_TEST_TIMEOUT 1800)
set(VEXA_LONG_TEST_TIMEOUT 3600)

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
    TIMEOUT ${VEXA_TEST_TIMEOUT})
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
  if(VEXA_SANITIZE OR VEXA_TSAN)
    # A test's own code checks results; the code under test is what the
    # sanitizers are for and keeps its optimisation. Unoptimised, the test
    # sources build in a third of the time.
    target_compile_options(${name} PRIVATE -O0)
  endif()
  vexa_test_defaults(${name})
endfunction()

# vexa_test_defaults(TEST) — what every test shares, also for a second test
# over the same program: its cost and the sanitizer runtime's options.
function(vexa_test_defaults name)
  foreach(entry IN LISTS VEXA_TEST_COSTS)
    if(entry MATCHES "^${name}=([0-9]+)$")
      set_tests_properties(${name} PROPERTIES COST ${CMAKE_MATCH_1})
    endif()
  endforeach()
  if(VEXA_TSAN)
    foreach(entry IN LISTS VEXA_TSAN_FILTERS)
      if(entry MATCHES "^${name}=(.+)$")
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT_MODIFICATION "GTEST_FILTER=set:${CMAKE_MATCH_1}")
      endif()
    endforeach()
    # The process's pool keeps its worker threads, so a test that forks
    # forks a threaded process; ThreadSanitizer then refuses any thread the
    # child starts (its own bookkeeping is not fork-safe). The children of
    # the tests do their work and _exit; they are still checked.
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT_MODIFICATION "TSAN_OPTIONS=string_append::die_after_fork=0")
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
    set_property(TEST ${name} APPEND PROPERTY
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
