# tolmera_add_test(<name> SOURCES <files...> LIBS <targets...> [GUI] [LABELS <labels...>]
#                  [SPLIT <functions,...>...])
# Builds one QtTest executable and registers it with CTest; with SPLIT, as
# one CTest test per group of test functions (comma-separated), named
# <name>_<first function of the group>, so that a long test runs in parts
# that CTest can run side by side. Non-GUI tests run
# on the offscreen platform; GUI tests that need OpenGL (GUI) use the display
# the suite runs under (test.sh starts Xvfb).
set(TOLMERA_TEST_BIN_DIR ${CMAKE_BINARY_DIR}/tests/bin)
file(MAKE_DIRECTORY ${TOLMERA_TEST_BIN_DIR})
# "python" must be the system interpreter with numpy and scikit-learn.
if(EXISTS /usr/bin/python3)
  file(CREATE_LINK /usr/bin/python3 ${TOLMERA_TEST_BIN_DIR}/python SYMBOLIC)
endif()

function(tolmera_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS;SPLIT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt5::Test)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(${name} PRIVATE TOLMERA_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
                                             TOLMERA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set(tests ${name})
  if(T_SPLIT)
    set(tests)
    foreach(group ${T_SPLIT})
      string(REPLACE "," ";" functions "${group}")
      list(GET functions 0 first)
      list(APPEND tests ${name}_${first})
      set(functions_${name}_${first} ${functions})
    endforeach()
  endif()
  foreach(test ${tests})
    # Each test gets its own settings store, emptied before every run, so no
    # test sees what another (or an earlier run of itself) stored.
    set(config_dir ${CMAKE_BINARY_DIR}/tests/config/${test})
    add_test(NAME ${test}
             COMMAND /bin/sh -c "rm -rf \"$1\" && shift && exec \"$0\" \"$@\"" $<TARGET_FILE:${name}> ${config_dir}
                     ${functions_${test}})
    set(env "PATH=path_list_prepend:${TOLMERA_TEST_BIN_DIR}" "XDG_CONFIG_HOME=set:${config_dir}")
    if(NOT T_GUI)
      list(APPEND env "QT_QPA_PLATFORM=set:offscreen")
    endif()
    if(NOT T_TIMEOUT)
      set(T_TIMEOUT 600)
    endif()
    set_tests_properties(${test} PROPERTIES ENVIRONMENT_MODIFICATION "${env}" TIMEOUT ${T_TIMEOUT}
                         LABELS "${T_LABELS}")
  endforeach()
endfunction()
