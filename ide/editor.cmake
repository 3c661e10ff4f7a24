# The editor's parts: the code pane with its gutter and markers, the lazy
# syntax colouring of sources, assembly and listings, Find and Replace, the
# recent files, and the explanations on the result lists; their tests.

target_sources(zelvar PRIVATE
  SyntaxRules.cpp SyntaxRules.h
  LineHighlighter.cpp LineHighlighter.h
  CodeEditor.cpp CodeEditor.h
  FindBar.cpp FindBar.h
  RecentFiles.cpp RecentFiles.h
  ResultLists.cpp ResultLists.h)

add_executable(tst_zelvar_editorparts tests/editor/tst_editorparts.cpp)
target_link_libraries(tst_zelvar_editorparts PRIVATE zelvar Qt6::Test)
add_test(NAME zelvar.editorparts COMMAND tst_zelvar_editorparts)
set_tests_properties(zelvar.editorparts PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

add_executable(tst_zelvar_editorwindows tests/editor/tst_editorwindows.cpp)
target_link_libraries(tst_zelvar_editorwindows PRIVATE zelvar Qt6::Test)
add_test(NAME zelvar.editorwindows COMMAND tst_zelvar_editorwindows)
set_tests_properties(zelvar.editorwindows PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
