# Common warning set for the project's own targets.
function(catchline_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

# Adds a library built from every .cpp in the folder (and the listed
# sub-folders), so that adding a file needs no edit here.
function(catchline_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;LINK" ${ARGN})
  set(sources)
  foreach(d . ${ARG_DIRS})
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.h
                                  ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.qrc)
    list(APPEND sources ${s})
  endforeach()
  list(FILTER sources INCLUDE REGEX "\\.(cpp|ui|qrc)$")
  if(NOT sources)
    # A layer whose code has not been written yet.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${name} INTERFACE ${ARG_LINK})
    return()
  endif()
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
  catchline_warnings(${name})
endfunction()

# Test code compares fields of the packed file records with gtest's
# assertions, which take their arguments by reference: the alignment check
# of the undefined-behaviour sanitizer stays on for the program's code only.
function(catchline_test_code target)
  catchline_warnings(${target})
  if(CATCHLINE_SANITIZE MATCHES "undefined")
    target_compile_options(${target} PRIVATE -fno-sanitize=alignment)
  endif()
endfunction()

# One test executable per *_test.cpp file in the calling folder, named
# <folder>_<file>. The folder's testutil*.cpp helpers become one library its
# tests share. Every test carries one label:
#   unit  in-process without windows: the standard-C++ and QtCore layers
#         (pseudo-terminals included); fast, and run under the sanitizers
#   gui   windows (offscreen)
#   e2e   runs the built programs (catchline, catchline-cli) as processes
# LABEL is the folder's label (unit when not given); UNIT, GUI and E2E name
# the tests (file name without .cpp) that differ from it. The target
# tests_<label> builds the tests of a label.
function(catchline_tests)
  cmake_parse_arguments(ARG "" "LABEL" "LINK;ENV;UNIT;GUI;E2E" ${ARGN})
  if(NOT ARG_LABEL)
    set(ARG_LABEL unit)
  endif()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/testutil*.cpp)
  get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(helper_lib)
  if(helpers)
    set(helper_lib ${layer}_testutil)
    add_library(${helper_lib} STATIC ${helpers})
    target_link_libraries(${helper_lib} PUBLIC ${ARG_LINK} catchline_test_dialogs GTest::gtest)
    target_compile_definitions(${helper_lib} PRIVATE CATCHLINE_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/../data"
                                                     CATCHLINE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    catchline_test_code(${helper_lib})
  endif()
  foreach(t ${tests})
    get_filename_component(n ${t} NAME_WE)
    set(exe ${layer}_${n})
    set(label ${ARG_LABEL})
    foreach(l UNIT GUI E2E)
      if(n IN_LIST ARG_${l})
        string(TOLOWER ${l} label)
      endif()
    endforeach()
    add_executable(${exe} ${t})
    target_link_libraries(${exe} PRIVATE ${helper_lib} ${ARG_LINK} catchline_test_dialogs GTest::gtest GTest::gtest_main)
    target_compile_definitions(${exe} PRIVATE CATCHLINE_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/../data"
                                              CATCHLINE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    catchline_test_code(${exe})
    add_test(NAME ${exe} COMMAND ${exe})
    set_tests_properties(${exe} PROPERTIES LABELS ${label}
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${CATCHLINE_TEST_ENV};${ARG_ENV}" TIMEOUT 600)
    add_dependencies(tests_${label} ${exe})
  endforeach()
endfunction()
