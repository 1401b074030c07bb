# The download window on Qt's offscreen platform, with a scripted HTTP client.
skimbrook_add_test(ui_download_window_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fDownload_test.cpp ${CMAKE_CURRENT_LIST_DIR}/../download/QtTestMain.cpp
  LIBS skimbrook_download_qt LABELS gui)
