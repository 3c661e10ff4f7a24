# Rich text of the help window and the splash picture: the RTF reader and
# writer for QTextDocument, the libjpeg decoder, the shipped help file and
# picture, and the two small programs under tools/ that make them.
#
# The codec is a library of its own, linked into `zelvar`, so that its tests
# link only what they test.
add_library(zelvar_richtext STATIC
  ${CMAKE_CURRENT_LIST_DIR}/RtfCodec.h ${CMAKE_CURRENT_LIST_DIR}/RtfCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RtfCodePage.h ${CMAKE_CURRENT_LIST_DIR}/RtfCodePage.cpp ${CMAKE_CURRENT_LIST_DIR}/RtfWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JpegImage.h ${CMAKE_CURRENT_LIST_DIR}/JpegImage.cpp)
target_include_directories(zelvar_richtext PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zelvar_richtext PUBLIC Qt6::Gui JPEG::JPEG m51text)
target_link_libraries(zelvar PUBLIC zelvar_richtext)

# The shipped files (the program's fragment copies and installs resources/).
set(_zelvar_help_rtf ${CMAKE_CURRENT_LIST_DIR}/resources/Zelvar.rtf)
set(_zelvar_splash_jpg ${CMAKE_CURRENT_LIST_DIR}/resources/splash.jpg)

# Generators. `zelvar_regenerate_help` and `zelvar_regenerate_splash` rewrite
# the shipped files in the source tree from tools/.
set(_zelvar_tools ${CMAKE_CURRENT_LIST_DIR}/../tools)
add_executable(zelvar_makehelp ${_zelvar_tools}/makehelp/makehelp.cpp)
target_link_libraries(zelvar_makehelp PRIVATE zelvar_richtext)
add_executable(zelvar_makesplash EXCLUDE_FROM_ALL ${_zelvar_tools}/makesplash/makesplash.cpp)
target_link_libraries(zelvar_makesplash PRIVATE zelvar_richtext)
add_custom_target(zelvar_regenerate_help
  COMMAND zelvar_makehelp ${_zelvar_tools}/makehelp/Zelvar-help.txt ${_zelvar_help_rtf}
  COMMENT "Writing the help file from tools/makehelp/Zelvar-help.txt" VERBATIM)
add_custom_target(zelvar_regenerate_splash
  COMMAND zelvar_makesplash ${_zelvar_splash_jpg}
  COMMENT "Drawing the splash picture" VERBATIM)

# Tests
set(_rt_tests ${CMAKE_CURRENT_LIST_DIR}/tests/richtext)
foreach(_name rtfcodec jpegimage helpfile)
  add_executable(tst_richtext_${_name} ${_rt_tests}/tst_${_name}.cpp)
  target_link_libraries(tst_richtext_${_name} PRIVATE zelvar_richtext Qt6::Test)
  target_compile_definitions(tst_richtext_${_name} PRIVATE
    ZELVAR_RESOURCES="${CMAKE_CURRENT_LIST_DIR}/resources"
    ZELVAR_HELP_SOURCE="${_zelvar_tools}/makehelp/Zelvar-help.txt"
    ZELVAR_MAKEHELP="$<TARGET_FILE:zelvar_makehelp>")
  add_test(NAME richtext.${_name} COMMAND tst_richtext_${_name})
  set_tests_properties(richtext.${_name} PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endforeach()
add_dependencies(tst_richtext_helpfile zelvar_makehelp)

# Where the compiler is built, every example of the help is compiled and its
# assembly compared with what the help shows.
if(TARGET m51compiler)
  add_executable(tst_richtext_helpexamples ${_rt_tests}/tst_helpexamples.cpp)
  target_link_libraries(tst_richtext_helpexamples PRIVATE m51compiler Qt6::Core Qt6::Test)
  target_compile_definitions(tst_richtext_helpexamples PRIVATE
    ZELVAR_HELP_SOURCE="${_zelvar_tools}/makehelp/Zelvar-help.txt")
  add_test(NAME richtext.helpexamples COMMAND tst_richtext_helpexamples)
  set_tests_properties(richtext.helpexamples PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()
