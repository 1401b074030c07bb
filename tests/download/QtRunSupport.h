// Runs the download window's run to its end on an event loop of the test's own: the
// program's client is never waited on, so a test waits for the run's end instead.
#pragma once

#include <QEventLoop>

#include "download/fDownload.h"

namespace skimbrook::test {

inline void RunUntilFinished(TfmDownload& Window) {
  QEventLoop loop;
  bool finished = false;
  Window.OnFinished = [&] {
    finished = true;
    loop.quit();
  };
  Window.Start();
  if (!finished) loop.exec();
  Window.OnFinished = nullptr;
}

}  // namespace skimbrook::test
