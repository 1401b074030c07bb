#include "ui/dialogs/uPrompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <stdexcept>

namespace skimbrook {

namespace {

// A file picked from the list is taken as it is, so that an existing name without an
// extension is neither missed on opening nor written beside on saving.
QString WithDefaultExtension(QString Name, const QString& DefaultExt) {
  if (!Name.isEmpty() && !DefaultExt.isEmpty() && QFileInfo(Name).suffix().isEmpty() &&
      !QFileInfo::exists(Name))
    Name += QLatin1Char('.') + DefaultExt;
  return Name;
}

// The dialog appends the default extension itself, so that it asks before overwriting the
// file that will really be written.
QString RunFileDialog(QWidget* Parent, const QString& Title, const QString& Filter, const QString& DefaultExt,
                      QFileDialog::AcceptMode Mode) {
  QFileDialog dialog(Parent, Title);
  dialog.setAcceptMode(Mode);
  dialog.setFileMode(Mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setNameFilter(QtFileFilter(Filter));
  dialog.setDefaultSuffix(DefaultExt);
  if (dialog.exec() != QDialog::Accepted) return QString();
  return WithDefaultExtension(dialog.selectedFiles().value(0), DefaultExt);
}

}  // namespace

QString QtFileFilter(const QString& Filter) {
  if (!Filter.contains(QLatin1Char('|'))) return Filter;
  static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
  const QStringList parts = Filter.split(QLatin1Char('|'));
  QStringList choices;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i];
    name.remove(trailingPatterns);
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
      pattern = pattern.trimmed();
      // On this system a name need not have a dot; "*.*" means every file.
      if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
    }
    choices << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return choices.join(QStringLiteral(";;"));
}

// ---------------------------------------------------------------------------------------
// Message boxes and dialogs

QMessageBox::StandardButton ShowPlainMessageBox(QWidget* Parent, QMessageBox::Icon Icon, const QString& Title,
                                                const QString& Text, QMessageBox::StandardButtons Buttons) {
  QMessageBox box(Icon, Title, Text, Buttons, Parent);
  box.setTextFormat(Qt::PlainText);
  if (Buttons & QMessageBox::Yes) box.setDefaultButton(QMessageBox::Yes);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool TQtPrompts::Confirm(const QString& Title, const QString& Text) {
  return ShowPlainMessageBox(parent_, QMessageBox::Question, Title, Text,
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool TQtPrompts::Warning(const QString& Title, const QString& Text) {
  return ShowPlainMessageBox(parent_, QMessageBox::Warning, Title, Text,
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TQtPrompts::Information(const QString& Title, const QString& Text) {
  ShowPlainMessageBox(parent_, QMessageBox::Information, Title, Text, QMessageBox::Ok);
}

void TQtPrompts::Error(const QString& Title, const QString& Text) {
  ShowPlainMessageBox(parent_, QMessageBox::Critical, Title, Text, QMessageBox::Ok);
}

QString TQtPrompts::InputBox(const QString& Caption, const QString& Prompt, const QString& Default) {
  bool ok = false;
  const QString answer = QInputDialog::getText(parent_, Caption, Prompt, QLineEdit::Normal, Default, &ok);
  return ok ? answer : Default;
}

int TQtPrompts::Choose(const QString& Title, const QString& Prompt, const QStringList& Choices) {
  bool ok = false;
  const QString answer = QInputDialog::getItem(parent_, Title, Prompt, Choices, 0, false, &ok);
  return ok ? static_cast<int>(Choices.indexOf(answer)) : -1;
}

QString TQtPrompts::OpenFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) {
  return RunFileDialog(parent_, Title, Filter, DefaultExt, QFileDialog::AcceptOpen);
}

QString TQtPrompts::SaveFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) {
  return RunFileDialog(parent_, Title, Filter, DefaultExt, QFileDialog::AcceptSave);
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

template <typename T>
T TScriptedPrompts::Next(const T& Cancelled, const char* Mismatch) {
  if (answers_.empty()) {
    ++unanswered_;
    return Cancelled;
  }
  const auto answer = answers_.front();
  answers_.pop_front();
  if (!std::holds_alternative<T>(answer)) throw std::logic_error(Mismatch);
  return std::get<T>(answer);
}

bool TScriptedPrompts::NextYesNo() {
  return Next(false, "scripted prompts: a text answer was queued for a Yes/No question");
}

QString TScriptedPrompts::NextText(const QString& Cancelled) {
  return Next(Cancelled, "scripted prompts: a Yes/No answer was queued for a text question");
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

int TScriptedPrompts::Choose(const QString& Title, const QString& Prompt, const QStringList& Choices) {
  asked_.push_back({TKind::Choose, Title, Prompt});
  return static_cast<int>(Choices.indexOf(NextText(QString())));
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
