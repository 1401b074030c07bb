// Readable GoogleTest messages for Qt's strings.
#pragma once

#include <QString>
#include <QStringList>
#include <ostream>

// Readable failure messages for Qt's strings.
inline void PrintTo(const QString& Text, std::ostream* Out) {
  *Out << '"' << Text.toStdString() << '"';
}
inline void PrintTo(const QStringList& Texts, std::ostream* Out) {
  *Out << "{";
  for (const QString& text : Texts) *Out << " \"" << text.toStdString() << "\"";
  *Out << " }";
}
