orvanta_add_gtest(common_foundation_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/BracketTokenTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DbgLogTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InstanceLockTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingsStoreTest.cpp
  LIBS orvanta_common)
