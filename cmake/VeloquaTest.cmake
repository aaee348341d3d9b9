# vq_add_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s])
# One Qt Test executable per subject; runs offscreen with a fixed locale, and each test gets a
# scratch home so that no test reads or writes the developer's own configuration.
function(vq_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE vq_common vq_testsupport Qt6::Test ${ARG_LIBS})
  # Tests may look into forms through their generated ui_*.h headers.
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    AUTOUIC_SEARCH_PATHS "${CMAKE_SOURCE_DIR}/shell;${CMAKE_SOURCE_DIR}/ui")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8;TZ=UTC;VQ_BIN_DIR=${CMAKE_BINARY_DIR}/bin;VQ_SOURCE_DIR=${CMAKE_SOURCE_DIR};no_proxy=*;http_proxy=;HTTP_PROXY=;https_proxy=;HTTPS_PROXY=")
endfunction()
