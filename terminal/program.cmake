# The terminal's window, receive and transmit paths, stored settings, the
# program itself, its tests, and what `cmake --install` puts on the system.
# core/ and the files beside this one: the terminal's logic without widgets.
# The serial ports Zelvar and m51sim serve, for the Device menu.
target_link_libraries(terminalcore PUBLIC m51servedports)
target_sources(terminalcore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/core/LinkStatus.h
  ${CMAKE_CURRENT_LIST_DIR}/core/LinkStatus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/ProtocolTransfer.h
  ${CMAKE_CURRENT_LIST_DIR}/core/ProtocolTransfer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/PlotData.h
  ${CMAKE_CURRENT_LIST_DIR}/core/PlotData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/TerminalSettings.h
  ${CMAKE_CURRENT_LIST_DIR}/core/TerminalSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/HexBytes.h
  ${CMAKE_CURRENT_LIST_DIR}/core/HexBytes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/ReceiveFind.h
  ${CMAKE_CURRENT_LIST_DIR}/core/ReceiveFind.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/StatusTexts.h
  ${CMAKE_CURRENT_LIST_DIR}/core/StatusTexts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/DeviceMap.h
  ${CMAKE_CURRENT_LIST_DIR}/core/DeviceMap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/Connection.h
  ${CMAKE_CURRENT_LIST_DIR}/core/Connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/ReceivePipeline.h
  ${CMAKE_CURRENT_LIST_DIR}/core/ReceivePipeline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/Transmitter.h
  ${CMAKE_CURRENT_LIST_DIR}/core/Transmitter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/FileSender.h
  ${CMAKE_CURRENT_LIST_DIR}/core/FileSender.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReceiveStore.h
  ${CMAKE_CURRENT_LIST_DIR}/ReceiveStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MacroCodec.h
  ${CMAKE_CURRENT_LIST_DIR}/MacroCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogFile.h
  ${CMAKE_CURRENT_LIST_DIR}/LogFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Storage.h
  ${CMAKE_CURRENT_LIST_DIR}/Storage.cpp)

# ui/ and the two widgets beside this file: the window and its panels. The
# live plot draws with QCustomPlot (Debian: libqcustomplot-dev).
find_package(Qt6 REQUIRED COMPONENTS PrintSupport)  # which QCustomPlot links
find_package(QCustomPlotQt6 REQUIRED)
target_link_libraries(terminalui PUBLIC QCustomPlotQt6::QCustomPlotQt6)
target_sources(terminalui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ui/PlotPane.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/PlotPane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/SendPacingDialog.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/SendPacingDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/WindowControls.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/WindowControls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/ReceiveFindBar.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/ReceiveFindBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/UiText.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/AboutBox.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/AboutBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/GripSplitter.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/ConnectionPanel.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/ConnectionPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/SettingsBox.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/SettingsBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/ReceivePanel.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/ReceivePanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/TransmitPanel.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/TransmitPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/TransmitSending.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/ControlPictures.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/ControlPictures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/StoredPlacement.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/StoredPlacement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CompactTextView.h
  ${CMAKE_CURRENT_LIST_DIR}/CompactTextView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HistoryComboBox.h
  ${CMAKE_CURRENT_LIST_DIR}/HistoryComboBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/MainFrm.h
  ${CMAKE_CURRENT_LIST_DIR}/ui/MainFrm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/MainFrmStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/terminal.qrc)

add_executable(terminal WIN32 ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(terminal PRIVATE terminalui m51programinfo)

install(TARGETS terminal RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(UNIX AND NOT APPLE)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/terminal.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME zelvar-terminal.desktop)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/terminal.xpm
          DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME zelvar-terminal.xpm)
endif()

if(UNIX)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests/program ${CMAKE_CURRENT_BINARY_DIR}/tests/program)
endif()
if(UNIX)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests/transfer ${CMAKE_CURRENT_BINARY_DIR}/tests/transfer)
endif()
