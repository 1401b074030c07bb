# Browser mode and import/export: the window with the fake browser and scripted prompts,
# the import/export dialog itself, and browser mode once more over the real web engine.
skimbrook_add_test(ui_browser_mode_tests
  SOURCES UiTestMain.cpp MainWindowFixture.cpp MainWindowFixture.h fMain_browser_test.cpp
          fMain_impexp_test.cpp fImpExp_test.cpp uFeedAddress_test.cpp
  LIBS skimbrook_engine Qt6::Test LibXml2::LibXml2
  LABELS gui)

skimbrook_add_test(ui_browser_engine_tests
  SOURCES UiTestMain.cpp MainWindowFixture.cpp MainWindowFixture.h fMain_browser_engine_test.cpp
  LIBS skimbrook_engine Qt6::Test
  LABELS gui network TIMEOUT 600)
