#include "ui/uPrompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <stdexcept>

namespace skimbrook {

namespace {

QString WithDefaultExtension(QString Name, const QString& DefaultExt) {
  if (!Name.isEmpty() && !DefaultExt.isEmpty() && QFileInfo(Name).suffix().isEmpty())
    Name += QLatin1Char('.') + DefaultExt;
  return Name;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Message boxes and dialogs

bool TQtPrompts::Confirm(const QString& Title, const QString& Text) {
  return QMessageBox::question(parent_, Title, Text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

bool TQtPrompts::Warning(const QString& Title, const QString& Text) {
  return QMessageBox::warning(parent_, Title, Text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

void TQtPrompts::Information(const QString& Title, const QString& Text) {
  QMessageBox::information(parent_, Title, Text, QMessageBox::Ok);
}

void TQtPrompts::Error(const QString& Title, const QString& Text) {
  QMessageBox::critical(parent_, Title, Text, QMessageBox::Ok);
}

QString TQtPrompts::InputBox(const QString& Caption, const QString& Prompt, const QString& Default) {
  bool ok = false;
  const QString answer = QInputDialog::getText(parent_, Caption, Prompt, QLineEdit::Normal, Default, &ok);
  return ok ? answer : Default;
}

QString TQtPrompts::OpenFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) {
  return WithDefaultExtension(QFileDialog::getOpenFileName(parent_, Title, QString(), Filter), DefaultExt);
}

QString TQtPrompts::SaveFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) {
  return WithDefaultExtension(QFileDialog::getSaveFileName(parent_, Title, QString(), Filter), DefaultExt);
}

// ---------------------------------------------------------------------------------------
// Scripted answers

QStringList TScriptedPrompts::AskedTitles() const {
  QStringList titles;
  for (const TQuestion& question : asked_) titles << question.Title;
  return titles;
}

void TScriptedPrompts::Clear() {
  answers_.clear();
  asked_.clear();
  unanswered_ = 0;
}

bool TScriptedPrompts::NextYesNo() {
  if (answers_.empty()) {
    ++unanswered_;
    return false;
  }
  const auto answer = answers_.front();
  answers_.pop_front();
  if (!std::holds_alternative<bool>(answer))
    throw std::logic_error("scripted prompts: a text answer was queued for a Yes/No question");
  return std::get<bool>(answer);
}

QString TScriptedPrompts::NextText(const QString& Cancelled) {
  if (answers_.empty()) {
    ++unanswered_;
    return Cancelled;
  }
  const auto answer = answers_.front();
  answers_.pop_front();
  if (!std::holds_alternative<QString>(answer))
    throw std::logic_error("scripted prompts: a Yes/No answer was queued for a text question");
  return std::get<QString>(answer);
}

bool TScriptedPrompts::Confirm(const QString& Title, const QString& Text) {
  asked_.push_back({TKind::Confirm, Title, Text});
  return NextYesNo();
}

bool TScriptedPrompts::Warning(const QString& Title, const QString& Text) {
  asked_.push_back({TKind::Warning, Title, Text});
  return NextYesNo();
}

void TScriptedPrompts::Information(const QString& Title, const QString& Text) {
  asked_.push_back({TKind::Information, Title, Text});
}

void TScriptedPrompts::Error(const QString& Title, const QString& Text) {
  asked_.push_back({TKind::Error, Title, Text});
}

QString TScriptedPrompts::InputBox(const QString& Caption, const QString& Prompt, const QString& Default) {
  asked_.push_back({TKind::InputBox, Caption, Prompt});
  return NextText(Default);
}

QString TScriptedPrompts::OpenFileName(const QString& Title, const QString& Filter,
                                       const QString& DefaultExt) {
  asked_.push_back({TKind::OpenFileName, Title, Filter});
  return WithDefaultExtension(NextText(QString()), DefaultExt);
}

QString TScriptedPrompts::SaveFileName(const QString& Title, const QString& Filter,
                                       const QString& DefaultExt) {
  asked_.push_back({TKind::SaveFileName, Title, Filter});
  return WithDefaultExtension(NextText(QString()), DefaultExt);
}

}  // namespace skimbrook
