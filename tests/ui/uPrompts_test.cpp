// The scripted prompts that window tests answer through.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>

#include "tools/QtPrinters.h"

#include "display/uDisplayText.h"
#include "ui/dialogs/uPrompts.h"

namespace skimbrook::test {

namespace {

TEST(ScriptedPrompts, AnswerInOrderAndRememberEveryQuestion) {
  TScriptedPrompts prompts;
  prompts.Answer(true);
  prompts.Answer("typed");
  prompts.Answer("/tmp/list");
  EXPECT_TRUE(prompts.Confirm("Confirm", "Download feed now?"));
  EXPECT_EQ(prompts.InputBox("Add Feed", "XML URL:", ""), "typed");
  EXPECT_EQ(prompts.SaveFileName("Export", "OPML files (*.opml)", "opml"), "/tmp/list.opml");
  prompts.Information("Information", "note");
  EXPECT_EQ(prompts.AskedTitles(), QStringList({"Confirm", "Add Feed", "Export", "Information"}));
  EXPECT_EQ(prompts.Asked()[1].Text, "XML URL:");
  EXPECT_EQ(prompts.Unanswered(), 0);
}

TEST(ScriptedPrompts, QuestionsWithoutAnAnswerAreCancelled) {
  TScriptedPrompts prompts;
  EXPECT_FALSE(prompts.Warning("Warning", "Sure?"));
  EXPECT_EQ(prompts.InputBox("Add Group", "Group Name:", "default"), "default");
  EXPECT_EQ(prompts.OpenFileName("Import", "OPML files (*.opml)", "opml"), "");
  EXPECT_EQ(prompts.Unanswered(), 3);
}

TEST(ScriptedPrompts, AnAnswerOfTheWrongKindIsAnError) {
  TScriptedPrompts prompts;
  prompts.Answer("text");
  EXPECT_THROW(prompts.Confirm("Confirm", "?"), std::logic_error);
}

TEST(PlainMessageBox, ShowsMarkupAsTheCharactersItIsMadeOf) {
  Qt::TextFormat shown = Qt::RichText;
  QString text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shown = box->textFormat();
    text = box->text();
    box->done(QMessageBox::No);
  });
  const QString markup =
      QStringLiteral("Subscribe to <b>BBC</b><!-- at http://evil/ --> <img src=\"file:///x\">?");
  EXPECT_EQ(ShowPlainMessageBox(nullptr, QMessageBox::Question, QStringLiteral("Add Feed"), markup,
                                QMessageBox::Yes | QMessageBox::No),
            QMessageBox::No);
  EXPECT_EQ(shown, Qt::PlainText);
  EXPECT_EQ(text, markup);
}

TEST(PlainMessageBox, ATooltipTakesEscapedTextThatReadsBackAsWritten) {
  const QString text = QStringLiteral("<b>bold</b> &amp; <a href='x'>link</a>\nsecond line");
  QTextDocument document;
  document.setHtml(PlainAsRichText(text));
  EXPECT_EQ(document.toPlainText(), text);
}

}  // namespace

}  // namespace skimbrook::test
