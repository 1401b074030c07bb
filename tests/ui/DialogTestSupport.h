// Driving modal dialogs from a test: act on the dialog once it shows, press keys the
// way the user does, and settings over a store in memory.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDialog>
#include <QWidget>

#include "settings/uMemoryRegistry.h"
#include "settings/uSettings.h"

namespace skimbrook::test {

// Runs Action on the next modal dialog once it is shown. A dialog still open ten seconds
// after Action fails the test and is closed, so that a test cannot hang.
void WhenModalShows(std::function<void(QDialog&)> Action);

// The same for a dialog of a known form class.
template <class TForm>
void WhenFormShows(std::function<void(TForm&)> Action) {
  WhenModalShows([Action](QDialog& Dialog) {
    auto* Form = qobject_cast<TForm*>(&Dialog);
    if (Form == nullptr) {
      ADD_FAILURE() << "unexpected dialog " << Dialog.objectName().toStdString();
      Dialog.reject();
      return;
    }
    Action(*Form);
  });
}

// Sends Key to the control of Window that has the focus, or to Window itself.
void PressKey(QWidget& Window, Qt::Key Key);

// The object names of the controls that Tab visits from the one with the focus, Count of
// them, the focused one first.
std::vector<std::string> TabOrder(QWidget& Window, int Count);

// Settings loaded from an empty store, that is, the defaults.
struct TTestSettings {
  TMemoryRegistry Store;
  TSettings Settings{Store, "/opt/skimbrook/skimbrook"};
};

}  // namespace skimbrook::test
