// The floor of the start-up benchmark: a bare Qt Widgets window of the same shape as the
// reader's (a menu bar, two lists side by side in a splitter), no data, no web engine.
// Reports on standard output the wall-clock moment its window is first shown, as the
// program does with SKIMBROOK_EXIT_AFTER_SHOW, then ends.
#include <QApplication>
#include <QDateTime>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QSplitter>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  for (const char* menu : {"&File", "&View", "&Tools", "&Help"})
    window.menuBar()->addMenu(QString::fromLatin1(menu));
  auto* splitter = new QSplitter(&window);
  splitter->addWidget(new QListWidget);
  splitter->addWidget(new QListWidget);
  window.setCentralWidget(splitter);
  window.resize(800, 600);
  window.show();
  QTimer::singleShot(0, [] {
    std::printf("shown-at-ms %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
    std::fflush(stdout);
    QCoreApplication::quit();
  });
  return app.exec();
}
