// Every modal question the program asks goes through TPrompts, so that windows can be
// driven by a script in tests and by message boxes and file dialogs otherwise.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <variant>
#include <vector>

class QWidget;

namespace skimbrook {

class TPrompts {
 public:
  virtual ~TPrompts() = default;
  // A question with Yes and No; true for Yes.
  virtual bool Confirm(const QString& Title, const QString& Text) = 0;
  // A warning with Yes and No; true for Yes.
  virtual bool Warning(const QString& Title, const QString& Text) = 0;
  // A note with one OK button.
  virtual void Information(const QString& Title, const QString& Text) = 0;
  // An error message with one OK button.
  virtual void Error(const QString& Title, const QString& Text) = 0;
  // A one-line input box with OK and Cancel; Cancel answers Default.
  virtual QString InputBox(const QString& Caption, const QString& Prompt, const QString& Default) = 0;
  // One of Choices picked from a list with OK and Cancel; its index, or -1 when cancelled.
  virtual int Choose(const QString& Title, const QString& Prompt, const QStringList& Choices) = 0;
  // A file to open; empty when cancelled. Filter lists the choices of file type as
  // "Name|patterns|Name|patterns" (patterns separated by ";"), or in Qt's
  // "Name (patterns);;Name (patterns)" form; DefaultExt (without the dot) is appended to a
  // typed name without extension.
  virtual QString OpenFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) = 0;
  // A file to save to; empty when cancelled. Same conventions as OpenFileName.
  virtual QString SaveFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) = 0;
};

// Filter in Qt's form: "Name|patterns|..." pairs become "Name (patterns);;..." (a
// parenthesised part at the end of Name is replaced, and "*.*" is "*", every file); a filter
// without "|" is already in Qt's form and returned as it is.
QString QtFileFilter(const QString& Filter);

// A modal message box that shows Text as plain text, whatever markup it holds (its text may
// come from a server or a feed); Yes is the default button when there is one.
QMessageBox::StandardButton ShowPlainMessageBox(QWidget* Parent, QMessageBox::Icon Icon, const QString& Title,
                                                const QString& Text, QMessageBox::StandardButtons Buttons);

// Message boxes, input dialogs and file dialogs, owned by Parent (which may change).
class TQtPrompts : public TPrompts {
 public:
  explicit TQtPrompts(QWidget* Parent = nullptr) : parent_(Parent) {}
  void SetParent(QWidget* Parent) { parent_ = Parent; }

  bool Confirm(const QString& Title, const QString& Text) override;
  bool Warning(const QString& Title, const QString& Text) override;
  void Information(const QString& Title, const QString& Text) override;
  void Error(const QString& Title, const QString& Text) override;
  QString InputBox(const QString& Caption, const QString& Prompt, const QString& Default) override;
  int Choose(const QString& Title, const QString& Prompt, const QStringList& Choices) override;
  QString OpenFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) override;
  QString SaveFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) override;

 private:
  QPointer<QWidget> parent_;
};

// Answers from a queue and remembers every question, for tests. A question with no answer
// left gets the cancel answer (No, the default text, no file) and counts as unanswered.
class TScriptedPrompts : public TPrompts {
 public:
  enum class TKind { Confirm, Warning, Information, Error, InputBox, Choose, OpenFileName, SaveFileName };
  struct TQuestion {
    TKind Kind;
    QString Title;
    QString Text;  // the message, the input prompt, or the file filter
  };

  // Queues the answer to the next Yes/No question.
  void Answer(bool Yes) { answers_.emplace_back(Yes); }
  // Queues the answer to the next input box or file dialog.
  void Answer(const QString& Text) { answers_.emplace_back(Text); }
  void Answer(const char* Text) { Answer(QString::fromUtf8(Text)); }

  const std::vector<TQuestion>& Asked() const { return asked_; }
  // The titles of the questions asked, in order.
  QStringList AskedTitles() const;
  int Unanswered() const { return unanswered_; }
  // Answers still queued.
  int Pending() const { return static_cast<int>(answers_.size()); }
  void Clear();

  bool Confirm(const QString& Title, const QString& Text) override;
  bool Warning(const QString& Title, const QString& Text) override;
  void Information(const QString& Title, const QString& Text) override;
  void Error(const QString& Title, const QString& Text) override;
  QString InputBox(const QString& Caption, const QString& Prompt, const QString& Default) override;
  // Answered by the text of the choice; a text that is none of them cancels.
  int Choose(const QString& Title, const QString& Prompt, const QStringList& Choices) override;
  QString OpenFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) override;
  QString SaveFileName(const QString& Title, const QString& Filter, const QString& DefaultExt) override;

 private:
  // The next queued answer, or Cancelled when none is left; a queued answer of the other
  // kind is a fault in the test's script.
  template <typename T>
  T Next(const T& Cancelled, const char* Mismatch);
  bool NextYesNo();
  QString NextText(const QString& Cancelled);

  std::deque<std::variant<bool, QString>> answers_;
  std::vector<TQuestion> asked_;
  int unanswered_ = 0;
};

}  // namespace skimbrook
