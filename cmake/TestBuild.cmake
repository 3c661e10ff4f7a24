# Test programs are compiled with -O1 and line tables only (-g1): a failing
# assertion still names its file and line, and the test sources, most of them
# GoogleTest and QtTest macros, build in about half the time of -O2 -g. The
# code under test keeps the build's own flags; benchmarks are not tests and
# keep them too. Read by the top-level CMakeLists.txt at its end, so that it
# sees every target.

# The targets of DIR and of the folders below it.
function(m51_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    m51_targets_below(${subdir} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(m51_lighter_test_flags)
  if(MSVC)
    return()
  endif()
  m51_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(dir ${target} SOURCE_DIR)
    if(NOT type STREQUAL "EXECUTABLE" OR dir MATCHES "^${PROJECT_SOURCE_DIR}/bench")
      continue()
    endif()
    get_target_property(libraries ${target} LINK_LIBRARIES)
    if(NOT libraries MATCHES "(^|;)(GTest::[A-Za-z_]+|gtest|gtest_main|gmock|gmock_main|Qt6::Test)(;|$)")
      continue()
    endif()
    target_compile_options(${target} PRIVATE "$<$<CONFIG:RelWithDebInfo>:-O1;-g1>" "$<$<CONFIG:Release>:-O1>")
    list(APPEND lighter ${target})
  endforeach()
  list(LENGTH lighter count)
  message(STATUS "Test programs built with lighter flags: ${count}")
endfunction()

m51_lighter_test_flags()
