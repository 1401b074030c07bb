// The main() of the window tests: one application object for the whole binary, with the
// page scheme registered before it as the program does.
#include <gtest/gtest.h>

#include "ui/browser/uWebEngineBrowser.h"
#include "ui/window/uApplication.h"

int main(int argc, char** argv) {
  skimbrook::RegisterPageScheme();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  skimbrook::TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
