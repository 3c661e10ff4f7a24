# Build chain (compile template, worker thread), snippet store and window
# placement: the library zelvar_build, linked into zelvar, so its tests link
# only what they exercise. It also holds the
# text file helpers that the snippet store and every window read files with.
add_library(zelvar_build STATIC
  TextFiles.h TextFiles.cpp
  SourceDocument.h SourceDocument.cpp
  BuildChain.h BuildChain.cpp
  WEExecuteThread.h WEExecuteThread.cpp
  skladu.h skladu.cpp
  Placement.h Placement.cpp
  ProfileFile.h ProfileFile.cpp
  ProfileStore.h ProfileStore.cpp)
target_include_directories(zelvar_build PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zelvar_build PUBLIC m51compiler m51cp1250 m51filewrite Qt6::Widgets)
target_link_libraries(zelvar PUBLIC zelvar_build)

# The build templates (resources/compile.sh and compile.bat, which run m51as;
# resources/compile-mcu8051ide.sh and .bat, the earlier chain) and the
# sample snippets (resources/Macro/*.Mac) are copied beside the program and
# installed with the other resources of ide/resources by windows.cmake.

# Tests: QtTest programs, run offscreen.
function(zelvar_build_test name)
  add_executable(tst_buildchain_${name} tests/buildchain/tst_${name}.cpp)
  target_link_libraries(tst_buildchain_${name} PRIVATE zelvar_build Qt6::Test)
  target_compile_definitions(tst_buildchain_${name} PRIVATE
    ZELVAR_RESOURCES="${CMAKE_CURRENT_SOURCE_DIR}/resources")
  if(TARGET m51as)
    target_compile_definitions(tst_buildchain_${name} PRIVATE M51AS_PATH="$<TARGET_FILE:m51as>")
    add_dependencies(tst_buildchain_${name} m51as)
  endif()
  add_test(NAME buildchain.${name} COMMAND tst_buildchain_${name})
  set_tests_properties(buildchain.${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
zelvar_build_test(template)
zelvar_build_test(build)
zelvar_build_test(assembler)
zelvar_build_test(snippets)
zelvar_build_test(placement)
zelvar_build_test(sourcedocument)
