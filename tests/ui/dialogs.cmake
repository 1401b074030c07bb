# The small dialogs and the help window, driven on the offscreen platform.
set(dialog_support ${CMAKE_CURRENT_SOURCE_DIR}/DialogTestSupport.cpp ${CMAKE_CURRENT_SOURCE_DIR}/DialogTestSupport.h)
skimbrook_add_test(dialogs_test
  SOURCES ${dialog_support} fDialogSupport_test.cpp fOptions_test.cpp fProxySettings_test.cpp
          fFeedInfo_test.cpp fTip_test.cpp
  LIBS skimbrook_engine Qt6::Test
  LABELS gui)
skimbrook_add_test(help_test
  SOURCES ${dialog_support} fHelp_test.cpp
  LIBS skimbrook_engine Qt6::Test
  LABELS gui)
