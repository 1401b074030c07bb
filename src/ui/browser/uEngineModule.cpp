#include "ui/browser/uEngineModule.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLibrary>
#include <QMessageBox>
#include <QOpenGLWidget>
#include <QPointer>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <utility>

#include "ui/browser/uWebBrowser.h"

// Where an installation keeps the module, from the program's folder.
#ifndef SKIMBROOK_MODULES_FROM_BIN
#define SKIMBROOK_MODULES_FROM_BIN "../lib/skimbrook/"
#endif

namespace skimbrook {

namespace {

constexpr char kModuleFile[] = "skimbrook-webengine.so";

struct TEngineModule {
  TWebBrowser* (*NewWebBrowser)(QWidget* Parent) = nullptr;
  void (*ShowHelp)(QWidget* Parent) = nullptr;
  QString Error;  // why the module could not be used
};

// The module beside the program (a build folder), else where an installation keeps it.
QString ModulePath() {
  const QString folder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
  const QString beside = folder + QLatin1String(kModuleFile);
  if (QFileInfo::exists(beside)) return beside;
  return QFileInfo(folder + QLatin1String(SKIMBROOK_MODULES_FROM_BIN) + QLatin1String(kModuleFile))
      .absoluteFilePath();
}

TEngineModule LoadEngineModule() {
  TEngineModule module;
  // Kept loaded for the rest of the program's life: its windows live as long.
  auto* library = new QLibrary(ModulePath());
  if (!library->load()) {
    module.Error = library->errorString();
    return module;
  }
  module.NewWebBrowser =
      reinterpret_cast<TWebBrowser* (*)(QWidget*)>(library->resolve("SkimbrookNewWebBrowser"));
  module.ShowHelp = reinterpret_cast<void (*)(QWidget*)>(library->resolve("SkimbrookShowHelp"));
  if (!module.NewWebBrowser || !module.ShowHelp) {
    // A module of another build: neither part of it is used.
    module = {nullptr, nullptr, library->errorString()};
  }
  return module;
}

const TEngineModule& EngineModule() {
  static const TEngineModule module = [] {
    TEngineModule loaded = LoadEngineModule();
    if (!loaded.Error.isEmpty())
      std::fprintf(stderr, "skimbrook: the web engine cannot be used: %s\n", qPrintable(loaded.Error));
    return loaded;
  }();
  return module;
}

// The page pane when the engine cannot be loaded: it says why and shows nothing else.
class TNoEngineBrowser : public TWebBrowser {
 public:
  TNoEngineBrowser(QWidget* Parent, const QString& Why) : TWebBrowser(Parent) {
    auto* note = new QLabel(QStringLiteral("Pages cannot be shown: %1").arg(Why), this);
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignCenter);
    (new QVBoxLayout(this))->addWidget(note);
  }
  // Nothing loads; whoever waits for the page to be ready hears that it is.
  void Navigate(const QString&) override {
    QTimer::singleShot(0, this, [this] { emit ReadyStateChanged(); });
  }
  void GoBack() override { throw std::runtime_error("There is no page to go back to."); }
  void GoForward() override { throw std::runtime_error("There is no page to go forward to."); }
  void Refresh() override {}
  TReadyState ReadyState() const override { return Complete; }
  void LoadFromText(const QString&, const QUrl&) override {}
};

// The page pane as the window gets it: the module is loaded, and the engine's browser put
// in, once the window has been painted for the first time. What is asked of it before then
// waits (the last request only, as the engine's browser does itself) and is done then.
class TLoadingBrowser : public TWebBrowser {
 public:
  explicit TLoadingBrowser(QWidget* Parent) : TWebBrowser(Parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    ChooseOpenGLSurface(*this);
  }

  void Navigate(const QString& Url) override {
    Do([Url](TWebBrowser& Browser) { Browser.Navigate(Url); });
  }
  void GoBack() override { Loaded("There is no page to go back to.").GoBack(); }
  void GoForward() override { Loaded("There is no page to go forward to.").GoForward(); }
  void Refresh() override {
    if (browser_) browser_->Refresh();
  }
  TReadyState ReadyState() const override {
    if (browser_) return browser_->ReadyState();
    return pending_ ? Loading : Uninitialized;
  }
  bool PageAtEnd() const override { return !browser_ || browser_->PageAtEnd(); }
  void PageDown() override {
    if (browser_) browser_->PageDown();
  }
  void StartEngineNow() override { Load(); }
  void LoadFromText(const QString& Html, const QUrl& BaseUrl) override {
    Do([Html, BaseUrl](TWebBrowser& Browser) { Browser.LoadFromText(Html, BaseUrl); });
  }

 protected:
  void showEvent(QShowEvent* Event) override {
    TWebBrowser::showEvent(Event);
    if (std::exchange(shown_, true)) return;
    AfterFirstPaint(*this, [this] { Load(); });
  }

 private:
  void Load() {
    if (browser_) return;
    const TEngineModule& module = EngineModule();
    browser_ = module.NewWebBrowser ? module.NewWebBrowser(this) : new TNoEngineBrowser(this, module.Error);
    layout()->addWidget(browser_);
    setFocusProxy(browser_);
    connect(browser_, &TWebBrowser::BeforeNavigate2, this, &TWebBrowser::BeforeNavigate2);
    connect(browser_, &TWebBrowser::StatusTextChange, this, &TWebBrowser::StatusTextChange);
    connect(browser_, &TWebBrowser::NewWindow2, this, &TWebBrowser::NewWindow2);
    connect(browser_, &TWebBrowser::NavigationRefused, this, &TWebBrowser::NavigationRefused);
    connect(browser_, &TWebBrowser::ReadyStateChanged, this, &TWebBrowser::ReadyStateChanged);
    browser_->StartEngineNow();
    if (auto pending = std::exchange(pending_, nullptr)) pending(*browser_);
  }

  void Do(std::function<void(TWebBrowser&)> Request) {
    if (browser_) {
      Request(*browser_);
      return;
    }
    pending_ = std::move(Request);
    emit ReadyStateChanged();
  }

  TWebBrowser& Loaded(const char* Otherwise) {
    if (!browser_) throw std::runtime_error(Otherwise);
    return *browser_;
  }

  TWebBrowser* browser_ = nullptr;
  bool shown_ = false;
  std::function<void(TWebBrowser&)> pending_;
};

// Waits for the first paint of a widget's window, then calls what was to start.
class TFirstPaintWatch : public QObject {
 public:
  TFirstPaintWatch(QWidget& Widget, std::function<void()> Start)
      : QObject(&Widget), window_(Widget.window()), start_(std::move(Start)) {
    window_->installEventFilter(this);
    // Should no paint come (a platform that paints nothing), it starts all the same.
    QTimer::singleShot(kLatestMs, this, [this] { Fire(); });
  }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched == window_ && (Event->type() == QEvent::UpdateRequest || Event->type() == QEvent::Paint)) {
      window_->removeEventFilter(this);
      // Queued behind the paint being handled.
      QTimer::singleShot(0, this, [this] { Fire(); });
    }
    return false;
  }

 private:
  static constexpr int kLatestMs = 500;

  void Fire() {
    if (window_) window_->removeEventFilter(this);
    if (auto start = std::exchange(start_, nullptr)) start();
    deleteLater();
  }

  QPointer<QWidget> window_;
  std::function<void()> start_;
};

}  // namespace

void AfterFirstPaint(QWidget& Widget, std::function<void()> Start) {
  new TFirstPaintWatch(Widget, std::move(Start));
}

void ChooseOpenGLSurface(QWidget& Owner) {
  // A hidden widget of the OpenGL kind, never shown, makes the window choose that surface.
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland")))
    (new QOpenGLWidget(&Owner))->hide();
}

TWebBrowser* CreateWebEngineBrowser(QWidget* Parent) {
  return new TLoadingBrowser(Parent);
}

void ShowHelp(QWidget* Parent) {
  const TEngineModule& module = EngineModule();
  if (!module.ShowHelp) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Help"),
                    QStringLiteral("Help cannot be shown: %1").arg(module.Error), QMessageBox::Ok, Parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return;
  }
  module.ShowHelp(Parent);
}

}  // namespace skimbrook
