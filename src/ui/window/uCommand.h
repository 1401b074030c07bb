// A command of the window: a QAction named by its component name, made by the object that
// performs it. The window finds it by that name to place it in its menus, its toolbar and
// its tray menu, and to enable it; tests trigger it by the same name.
#pragma once

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QString>

namespace skimbrook {

// The action lives in Home's tree of objects (a widget of the window, where findChild
// reaches it) and calls Owner's Slot when triggered.
template <class TOwner>
QAction* NewCommand(QObject* Home, const char* Name, const QString& Caption, TOwner* Owner,
                    void (TOwner::*Slot)(), const QList<QKeySequence>& Shortcuts = {}) {
  auto* action = new QAction(Caption, Home);
  action->setObjectName(QLatin1String(Name));
  action->setShortcuts(Shortcuts);
  QObject::connect(action, &QAction::triggered, Owner, [Owner, Slot] { (Owner->*Slot)(); });
  return action;
}

}  // namespace skimbrook
