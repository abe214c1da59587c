# Adds every direct subfolder of the given top folders that holds a CMakeLists.txt.
function(quenda_add_modules)
  foreach(top IN LISTS ARGN)
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/${top}/*)
    list(SORT children)
    foreach(child IN LISTS children)
      if(EXISTS ${PROJECT_SOURCE_DIR}/${child}/CMakeLists.txt)
        add_subdirectory(${PROJECT_SOURCE_DIR}/${child})
      endif()
    endforeach()
  endforeach()
endfunction()

# quenda_add_test(NAME name SOURCES ... LIBS ... [TIMEOUT seconds] [ENVIRONMENT VAR=value ...])
# One GoogleTest executable per module, run in shuffled order, each test with a time-out.
function(quenda_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${T_NAME}
    EXTRA_ARGS --gtest_shuffle
    PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENVIRONMENT}"
    DISCOVERY_TIMEOUT 60)
endfunction()
