# Serial port driver (TSerialPortDriver) and its tests.
target_sources(terminalcore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortDrv.h
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortDrv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortNative.h
  ${CMAKE_CURRENT_LIST_DIR}/SerialPortNative.cpp)

# The tests use pseudo-terminals as real ports.
if(UNIX)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/tests/driver ${CMAKE_CURRENT_BINARY_DIR}/tests/driver)
endif()
