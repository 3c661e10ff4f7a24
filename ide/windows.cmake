# The windows of Zelvar (main window, editor, viewers, setup dialog, help and
# splash windows), the program itself, its tests and its installation.

target_sources(zelvar PRIVATE
  ProgramFolder.cpp ProgramFolder.h
  Setup.cpp Setup.h
  Session.cpp Session.h
  ProgramBuild.cpp ProgramBuild.h
  BuildScriptOutput.cpp BuildScriptOutput.h
  WindowSet.h
  ShellRun.cpp ShellRun.h
  ListBox.cpp ListBox.h
  TextPane.cpp TextPane.h
  Main.cpp MainFrame.cpp Main.h
  Nastavu.cpp Nastavu.h
  editoru.cpp editoru.h
  asembu.cpp asembu.h
  lstu.cpp lstu.h
  helpu.cpp helpu.h
  splashu.cpp splashu.h
  StartUp.cpp StartUp.h
  WindowLayout.cpp WindowLayout.h)
# Where an installed Zelvar finds its templates, help file and snippets.
set_source_files_properties(ProgramFolder.cpp PROPERTIES
  COMPILE_DEFINITIONS "ZELVAR_DATADIR=\"${CMAKE_INSTALL_FULL_DATADIR}/zelvar\"")

# The program: the library, a thin main and the window icon.
add_executable(Zelvar ZelvarMain.cpp windows.qrc)
target_link_libraries(Zelvar PRIVATE zelvar m51programinfo)
set_target_properties(Zelvar PROPERTIES WIN32_EXECUTABLE ON)

# The build tree is a program folder of its own: the help file, the build
# template, the splash picture and the sample snippets lie beside the program,
# copied again only when their source changes (so a help text edited in the
# build tree survives an ordinary rebuild).
file(GLOB_RECURSE zelvar_resource_files CONFIGURE_DEPENDS
  RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/resources ${CMAKE_CURRENT_SOURCE_DIR}/resources/*)
set(zelvar_resource_copies)
foreach(file IN LISTS zelvar_resource_files)
  if(file MATCHES "^desktop/")
    continue()
  endif()
  set(copy ${CMAKE_CURRENT_BINARY_DIR}/${file})
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/resources/${file} ${copy}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/resources/${file}
    COMMENT "Copying ${file} beside Zelvar" VERBATIM)
  list(APPEND zelvar_resource_copies ${copy})
endforeach()
add_custom_target(zelvar_resources ALL DEPENDS ${zelvar_resource_copies})
add_dependencies(Zelvar zelvar_resources)

# The build template runs the assembler m51as from the program folder: in the
# build tree a copy of it lies beside Zelvar, renewed whenever m51as is rebuilt
# (installed, both go to the same bin folder).
if(TARGET m51as)
  set(zelvar_m51as_copy ${CMAKE_CURRENT_BINARY_DIR}/m51as${CMAKE_EXECUTABLE_SUFFIX})
  add_custom_command(OUTPUT ${zelvar_m51as_copy}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:m51as> ${zelvar_m51as_copy}
    DEPENDS m51as
    COMMENT "Copying m51as beside Zelvar" VERBATIM)
  add_custom_target(zelvar_m51as ALL DEPENDS ${zelvar_m51as_copy})
  add_dependencies(Zelvar zelvar_m51as)
endif()

install(TARGETS Zelvar RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY resources/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zelvar
  USE_SOURCE_PERMISSIONS
  PATTERN desktop EXCLUDE)
install(FILES resources/desktop/zelvar.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/desktop/zelvar.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

# Window tests: QtTest, offscreen. Each gets an empty configuration folder of
# its own from one object compiled once.
add_library(zelvar_fresh_config OBJECT tests/windows/FreshConfig.cpp)
target_link_libraries(zelvar_fresh_config PUBLIC Qt6::Core)
set(zelvar_window_tests cp1250 setup mainwindow editor help)
foreach(name IN LISTS zelvar_window_tests)
  add_executable(tst_zelvar_${name} tests/windows/tst_${name}.cpp)
  target_link_libraries(tst_zelvar_${name} PRIVATE zelvar_fresh_config zelvar Qt6::Test)
  target_include_directories(tst_zelvar_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME zelvar.${name} COMMAND tst_zelvar_${name})
  target_compile_definitions(tst_zelvar_${name} PRIVATE ZELVAR_RESOURCES="${CMAKE_CURRENT_SOURCE_DIR}/resources")
  set_tests_properties(zelvar.${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endforeach()

# The windows wired together: Debug's build chain (with the real assembler on
# the sample program where it is installed), the Macro window, placement.
add_executable(tst_zelvar_wiring tests/windows/tst_wiring.cpp)
target_link_libraries(tst_zelvar_wiring PRIVATE zelvar_fresh_config zelvar Qt6::Test)
target_compile_definitions(tst_zelvar_wiring PRIVATE
  ZELVAR_RESOURCES="${CMAKE_CURRENT_SOURCE_DIR}/resources"
  ZELVAR_EXAMPLES="${PROJECT_SOURCE_DIR}/examples")
if(TARGET m51as)
  target_compile_definitions(tst_zelvar_wiring PRIVATE M51AS_PATH="$<TARGET_FILE:m51as>")
  add_dependencies(tst_zelvar_wiring m51as)
endif()
add_test(NAME zelvar.wiring COMMAND tst_zelvar_wiring)
set_tests_properties(zelvar.wiring PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)

# The main window's docks: the simulator's panes after a debug start, both
# layouts kept with the window places.
if(TARGET m51debugwindow)
  add_executable(tst_zelvar_docks tests/windows/tst_docks.cpp)
  target_link_libraries(tst_zelvar_docks PRIVATE zelvar_fresh_config zelvar Qt6::Test)
  target_compile_definitions(tst_zelvar_docks PRIVATE ZELVAR_EXAMPLES="${PROJECT_SOURCE_DIR}/examples")
  add_test(NAME zelvar.docks COMMAND tst_zelvar_docks)
  set_tests_properties(zelvar.docks PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
