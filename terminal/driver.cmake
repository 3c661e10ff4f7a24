# Serial port driver (TSerialPortDriver) and its tests.
target_sources(terminalcore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortDrv.h
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortDrvImpl.h
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortDrv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortNative.h
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortNative.cpp)
# On Windows the native services are the Qt-free core in win32/ (added by the
# top-level CMakeLists.txt).
if(WIN32)
  target_link_libraries(terminalcore PRIVATE serialportwin32)
endif()

# The tests use pseudo-terminals as real ports.
if(UNIX)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests/driver ${CMAKE_CURRENT_BINARY_DIR}/tests/driver)
endif()
