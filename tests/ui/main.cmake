# The main window and its parts. The window tests use a fake browser and a scripted
# download; the browser tests start the real web engine.
set(ui_main_support ${CMAKE_CURRENT_SOURCE_DIR}/UiTestMain.cpp)

skimbrook_add_test(ui_main_window_tests
  SOURCES ${ui_main_support} MainWindowFixture.cpp MainWindowFixture.h fMain_lifecycle_test.cpp
          fMain_feedlist_test.cpp fMain_items_test.cpp uRowPainting_test.cpp uDisplayText_test.cpp
          uPrompts_test.cpp uDataFolder_test.cpp
  LIBS skimbrook_ui Qt6::Test
  LABELS gui)

skimbrook_add_test(ui_web_browser_tests
  SOURCES ${ui_main_support} uWebBrowser_test.cpp
  LIBS skimbrook_ui Qt6::Test
  LABELS gui TIMEOUT 600)

skimbrook_add_test(ui_main_download_tests
  SOURCES ${ui_main_support} MainWindowFixture.cpp MainWindowFixture.h fMain_download_test.cpp
  LIBS skimbrook_ui Qt6::Test
  LABELS gui network)
