// The embedded HTML view: the content pane's browser and browser mode. TWebBrowser is
// what the windows rely on; the engine module (uEngineModule.h) gives the one implementation
// that knows the web engine, and tests can put a fake in its place.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>

namespace skimbrook {

class TWebBrowser : public QWidget {
  Q_OBJECT

 public:
  // How far the current navigation has come.
  enum TReadyState { Uninitialized = 0, Loading = 1, Loaded = 2, Interactive = 3, Complete = 4 };

  using QWidget::QWidget;

  // Starts loading Url in place ("about:blank", "file://..." and web addresses; a bare
  // host name is taken as http). BeforeNavigate2 is raised for it.
  virtual void Navigate(const QString& Url) = 0;
  // One page back in the history; throws std::runtime_error when there is none, or when
  // it is one of the program's own (a blank page, an item's page given as text).
  virtual void GoBack() = 0;
  // One page forward in the history; throws std::runtime_error as GoBack does.
  virtual void GoForward() = 0;
  // Loads the current page again.
  virtual void Refresh() = 0;
  virtual TReadyState ReadyState() const = 0;
  // True when the page is scrolled to its end (or has nothing to scroll).
  virtual bool PageAtEnd() const { return true; }
  // Scrolls the page down by one screen, as the Page Down key does.
  virtual void PageDown() {}
  // Starts the engine at once, for a browser made after the window's first paint; by
  // itself it starts after that paint.
  virtual void StartEngineNow() {}
  // Shows Html as the current page, whatever its size; relative addresses in it resolve
  // against BaseUrl when that is valid. The page is untrusted and cannot act by itself: no
  // script runs in it, it has an opaque origin of its own that reaches nothing else, it
  // loads no frames, and of its navigations only a user's click on a web link (http,
  // https) goes ahead. Loading it raises no BeforeNavigate2.
  virtual void LoadFromText(const QString& Html, const QUrl& BaseUrl) = 0;

 signals:
  // Before every navigation that goes ahead, with its address; MainFrame is false for a
  // frame inside a page.
  void BeforeNavigate2(const QString& Url, bool MainFrame);
  // The status text changed (the address of a hovered link, or empty).
  void StatusTextChange(const QString& Text);
  // The user asked for a new window on a web address; it has been handed to the desktop's
  // browser. Requests without a click, and for other schemes, are dropped.
  void NewWindow2(const QString& Url);
  // The user clicked a link of a page given as text whose address is not a web address;
  // it was not followed.
  void NavigationRefused(const QUrl& Url);
  // ReadyState() may have changed.
  void ReadyStateChanged();
};

// Calls Start once Widget's window has been painted for the first time, queued behind that
// paint, so that slow work (the engine) never holds the window back; should no paint come
// (a platform that paints nothing), half a second after the call all the same. For
// Widget's first showing.
void AfterFirstPaint(QWidget& Widget, std::function<void()> Start);

// Makes Owner's window draw through an OpenGL surface from its first showing, as the
// engine's view needs: a window shown with a plain surface is destroyed and made anew when
// the view arrives, so that it vanishes and comes back on screen. Only where windows reach
// a screen; the platforms without one have no such surface.
void ChooseOpenGLSurface(QWidget& Owner);

}  // namespace skimbrook
