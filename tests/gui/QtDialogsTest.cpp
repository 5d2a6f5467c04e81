// The real dialogs, opened offscreen and answered by hand: what the user sees and what comes back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include "common/TestSupport.h"
#include "ui/QtDialogs.h"
#include "ui/QtTranslations.h"

using namespace quillora;

namespace {

template <typename T>
T* OpenDialog() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* d = qobject_cast<T*>(w); d && d->isVisible()) return d;
  }
  return nullptr;
}

}  // namespace

TEST(QtDialogs, OpenDialogsShowOneLabelAndApplyTheDefaultExtension) {
  test::TempHome home;
  home.Write("foo.tb0", "x");
  QtDialogs dialogs;
  QString chosen = QStringLiteral("<none>");
  dialogs.OpenFile(nullptr, QStringLiteral("開く"), home.path(),
                   QStringLiteral("テーブル定義ファイル(*.tb0) (*.tb0)"),
                   [&](QString path) { chosen = path; });
  auto* dialog = OpenDialog<QFileDialog>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails));
  // "foo" typed for foo.tb0 is that file, not "not found".
  dialog->selectFile(QStringLiteral("foo"));
  const QStringList selected = dialog->selectedFiles();
  ASSERT_EQ(selected, QStringList{home.File("foo.tb0")});
  static_cast<QDialog*>(dialog)->accept();  // the OK button
  EXPECT_EQ(chosen, home.File("foo.tb0"));

  // "All files" has no extension to add.
  dialogs.OpenFile(nullptr, QStringLiteral("ファイルの転送実行"), home.path(),
                   QStringLiteral("全てのファイル(*.*) (*)"), [&](QString path) { chosen = path; });
  dialog = OpenDialog<QFileDialog>();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->defaultSuffix().isEmpty());
  dialog->reject();
  EXPECT_TRUE(chosen.isEmpty());
}

TEST(QtDialogs, StandardButtonsSpeakJapaneseAndTheLargeFileQuestionIsOkCancel) {
  // A system language Qt has no translation for falls back to Japanese.
  QTranslator* translator = InstallQtTranslations(QLocale(QLocale::C));
  ASSERT_NE(translator, nullptr) << "Qt's Japanese translations (qt6-translations-l10n) missing";
  QtDialogs dialogs;
  std::optional<bool> answer;
  dialogs.ConfirmOkCancel(nullptr, QStringLiteral("確認メッセージ"),
                          QStringLiteral("大きなファイルを開こうとしています。続けますか？"),
                          [&](bool ok) { answer = ok; });
  auto* box = OpenDialog<QMessageBox>();
  ASSERT_NE(box, nullptr);
  ASSERT_NE(box->button(QMessageBox::Ok), nullptr);
  ASSERT_NE(box->button(QMessageBox::Cancel), nullptr);
  EXPECT_EQ(box->button(QMessageBox::Yes), nullptr);
  EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
  box->button(QMessageBox::Ok)->click();
  ASSERT_TRUE(answer.has_value());
  EXPECT_TRUE(*answer);
  QApplication::removeTranslator(translator);
  delete translator;
}

TEST(QtDialogs, ALongInputPromptWrapsWithinTheWindowThatAsks) {
  QWidget window;
  window.resize(500, 400);
  window.show();
  QtDialogs dialogs;
  std::optional<QString> answer;
  dialogs.Input(&window, QStringLiteral("接続先入力"),
                QStringLiteral("接続先のＩＰアドレスを入力して下さい(例：127.0.0.1)\n"
                               "接続先のＩＰは、ServerModeでこのソフトを立ち上げている方に、"
                               "何らかの方法で聞いて下さい。通常、接続先のＩＰは、ネットに繋げる"
                               "毎に違います。"),
                QString(), [&](std::optional<QString> text) { answer = text; });
  auto* dialog = OpenDialog<QInputDialog>();
  ASSERT_NE(dialog, nullptr);
  dialog->adjustSize();
  EXPECT_LE(dialog->width(), window.width());
  auto* label = dialog->findChild<QLabel*>();
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(label->wordWrap());
  // Wrapped, the whole prompt is still shown: more lines than its two written ones.
  EXPECT_GE(label->height(), 3 * label->fontMetrics().lineSpacing());
  dialog->setTextValue(QStringLiteral("127.0.0.1"));
  dialog->accept();
  EXPECT_EQ(answer, QStringLiteral("127.0.0.1"));
}
