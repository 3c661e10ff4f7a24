# The editor's parts: the code pane (on the QScintilla editor component) with
# its margins, markers, completion and call tips, the syntax colouring and
# folding of sources, assembly and listings, Find and Replace, the recent
# files, and the explanations on the result lists; their tests.
find_library(QSCINTILLA_LIBRARY NAMES qscintilla2_qt6 REQUIRED)
find_path(QSCINTILLA_INCLUDE_DIR Qsci/qsciscintilla.h PATH_SUFFIXES qt6 x86_64-linux-gnu/qt6 REQUIRED)
target_include_directories(zelvar SYSTEM PUBLIC ${QSCINTILLA_INCLUDE_DIR})
target_link_libraries(zelvar PUBLIC ${QSCINTILLA_LIBRARY})

target_sources(zelvar PRIVATE
  SyntaxRules.cpp SyntaxRules.h
  SyntaxLexer.cpp SyntaxLexer.h
  CLexer.cpp CLexer.h
  CSourceCheck.cpp CSourceCheck.h
  CProjectDialog.cpp CProjectDialog.h
  StatementTips.cpp StatementTips.h
  CodeEditor.cpp CodeEditor.h CodeEditorCoverage.cpp CodeEditorMarks.cpp
  FindBar.cpp FindBar.h
  RecentFiles.cpp RecentFiles.h
  ResultLists.cpp ResultLists.h)

add_executable(tst_zelvar_editorparts tests/editor/tst_editorparts.cpp)
target_link_libraries(tst_zelvar_editorparts PRIVATE zelvar Qt6::Test)
target_compile_definitions(tst_zelvar_editorparts PRIVATE
  M51_HELP_SOURCE="${PROJECT_SOURCE_DIR}/tools/makehelp/Zelvar-help.txt")
add_test(NAME zelvar.editorparts COMMAND tst_zelvar_editorparts)
set_tests_properties(zelvar.editorparts PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

add_executable(tst_zelvar_editorwindows tests/editor/tst_editorwindows.cpp)
target_link_libraries(tst_zelvar_editorwindows PRIVATE zelvar Qt6::Test)
add_test(NAME zelvar.editorwindows COMMAND tst_zelvar_editorwindows)
set_tests_properties(zelvar.editorwindows PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
