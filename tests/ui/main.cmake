# The main window and its parts. The window tests use a fake browser and a scripted
# download; the browser tests start the real web engine.
set(ui_main_support ${CMAKE_CURRENT_SOURCE_DIR}/UiTestMain.cpp)

skimbrook_add_test(ui_main_window_tests
  SOURCES ${ui_main_support} MainWindowFixture.cpp MainWindowFixture.h fMain_lifecycle_test.cpp
          fMain_feedlist_test.cpp fMain_items_test.cpp uRowPainting_test.cpp
          uPrompts_test.cpp uNewItemsNotice_test.cpp uFlatMenuStyle_test.cpp
          uAddFeedDiscovery_test.cpp fMain_fetchstate_test.cpp uFeedListPane_test.cpp
          fTip_names_test.cpp uEngineModule_test.cpp
  LIBS skimbrook_engine Qt6::Test
  LABELS gui)

# The window over a real item store in the test's data folder.
skimbrook_add_test(ui_main_store_tests
  SOURCES ${ui_main_support} MainWindowFixture.cpp MainWindowFixture.h fMain_store_test.cpp
  LIBS skimbrook_engine Qt6::Test
  LABELS gui)

skimbrook_add_test(ui_web_browser_tests
  SOURCES ${ui_main_support} uWebBrowser_test.cpp
  LIBS skimbrook_engine Qt6::Test
  LABELS gui network TIMEOUT 600)

skimbrook_add_test(ui_main_download_tests
  SOURCES ${ui_main_support} MainWindowFixture.cpp MainWindowFixture.h fMain_download_test.cpp
  LIBS skimbrook_engine Qt6::Test
  LABELS gui network)

# The built program run as a separate process, stopped with SIGTERM. Its source lives with
# the other end-to-end tests; it is listed here so that tests/e2e/CMakeLists.txt stays the
# desktop session's.
if(TARGET skimbrook)
  skimbrook_add_test(e2e_program_tests SOURCES ${PROJECT_SOURCE_DIR}/tests/e2e/ProgramRun_test.cpp
    LIBS skimbrook_model skimbrook_settings GTest::gtest_main LABELS e2e TIMEOUT 180)
  add_dependencies(e2e_program_tests skimbrook)
endif()
