#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTextEdit>

#include "app/AppCore.h"
#include "app/MainWindow.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSupport.h"
#include "text/Cp932.h"

using namespace quillora;
using quillora::test::ScriptedDialogs;

namespace {

// One program with its window, started in a folder of its own.
struct Program {
  explicit Program(const QString& folder, const CommandLine& options = {})
      : core(folder, 11, sound) {
    core.instance().SetHostNameForTesting(QStringLiteral("testhost"));
    core.Startup(options);
    window = std::make_unique<MainWindow>(core, dialogs);
    window->RestoreFromSettings();
    window->show();
  }
  ~Program() { window->close(); }

  QString ChatText() { return core.chat_log().Main()->toPlainText(); }
  QString Panel(const char* key) { return core.instance().Panel(QLatin1String(key)); }
  QPlainTextEdit* input() { return window->findChild<QPlainTextEdit*>("txtMess"); }
  QLabel* label(const char* name) { return window->findChild<QLabel*>(name); }
  QListWidget* list(const char* name) { return window->findChild<QListWidget*>(name); }
  QAction* action(const char* name) { return window->menu_action(QString::fromLatin1(name)); }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(input(), static_cast<Qt::Key>(key), mods);
  }

  test::FakeSound sound;
  ScriptedDialogs dialogs;
  AppCore core;
  std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST(MainWindowStartup, FirstRunCreatesSettingsLogFolderAndTwoNotices) {
  test::TempHome home;
  Program p(home.path());
  EXPECT_TRUE(QFile::exists(home.File("app.ini")));
  EXPECT_TRUE(QDir(home.File("log")).exists());
  EXPECT_EQ(p.core.instance().OwnHandle, QStringLiteral("testhost"));
  EXPECT_EQ(p.Panel(kPanelCurHandle), QStringLiteral("testhost"));
  EXPECT_EQ(p.Panel(kPanelCurBufNum), QStringLiteral("発言場０"));
  EXPECT_EQ(p.window->windowTitle(), QStringLiteral("Quillora - NoMode どこにも接続されてません"));

  // Two lines in all: the handle, then the settings file.
  EXPECT_EQ(p.ChatText(),
            QStringLiteral("SystemMessage：ユーザー名をtesthostに設定しました。変更は、メニューの"
                           "[設定]→[ユーザー情報設定]でできます\n"
                           "SystemMessage：App.iniファイルが見つからないか、正常ではありません。"
                           "デフォルトのApp.iniファイルを作成しました。\n"));
  // Received files are kept and opened only on request until the user chooses otherwise.
  EXPECT_TRUE(Cp932::DecodeFile(home.Read("app.ini")).contains(QStringLiteral("ExecuteLevel=2")));
  EXPECT_TRUE(p.action("mnuSpExtSubSub_2")->isChecked());
}

TEST(MainWindowStartup, StoredReceivingPolicyIsKept) {
  test::TempHome home;
  { Program first(home.path()); }
  QString ini = Cp932::DecodeFile(home.Read("app.ini"));
  ini.replace(QStringLiteral("ExecuteLevel=2"), QStringLiteral("ExecuteLevel=0"));
  home.Write("app.ini", Cp932::Encode(ini));
  Program again(home.path());
  EXPECT_EQ(again.core.instance().settings.ExecuteLevel, 0);
}

TEST(MainWindowStartup, SettingsFileWithoutVersionStartsBlank) {
  test::TempHome home;
  home.Write("app.ini", "[AppSet]\r\nPsetName0=Alice\r\nPreFixStr=様\r\n");
  Program p(home.path());
  EXPECT_TRUE(p.core.instance().OwnHandle.isEmpty());
  EXPECT_TRUE(p.core.instance().settings.PreFixStr.isEmpty());
  EXPECT_FALSE(p.ChatText().contains(QStringLiteral("App.ini")));
}

TEST(MainWindowStartup, HandleOptionIsUsedForTheRunOnly) {
  test::TempHome home;
  CommandLine options;
  options.handle = QStringLiteral("花子");
  {
    Program p(home.path(), options);
    EXPECT_EQ(p.core.instance().OwnHandle, QStringLiteral("花子"));
    // The first-run line names the handle in effect.
    EXPECT_TRUE(p.ChatText().contains(QStringLiteral("ユーザー名を花子に設定しました。")));
    // The appearance dialog shows it, and OK keeps it without storing it.
    p.action("mnuSetSub_1")->trigger();
    auto* dialog = p.window->findChild<QDialog*>("frmSetApp");
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QListWidget*>("lstPreSet")->setCurrentRow(9);
    EXPECT_EQ(dialog->findChild<QLineEdit*>("txtPreSet")->text(), QStringLiteral("花子"));
    p.window->findChild<QTextEdit*>("rtbMain")->setFocus();
    QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(p.core.instance().OwnHandle, QStringLiteral("花子"));
    EXPECT_EQ(p.core.instance().settings.PsetName[0], QStringLiteral("testhost"));
    EXPECT_EQ(p.window->focusWidget(), p.input());
  }
  {
    Program again(home.path());
    EXPECT_EQ(again.core.instance().OwnHandle, QStringLiteral("testhost"));
  }
  // Editing the shown name makes the edit the handle, stored like any preset edit.
  Program p(home.path(), options);
  p.action("mnuSetSub_1")->trigger();
  auto* dialog = p.window->findChild<QDialog*>("frmSetApp");
  dialog->findChild<QListWidget*>("lstPreSet")->setCurrentRow(9);
  dialog->findChild<QLineEdit*>("txtPreSet")->setText(QStringLiteral("花子2"));
  QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
  EXPECT_EQ(p.core.instance().OwnHandle, QStringLiteral("花子2"));
  EXPECT_EQ(p.core.instance().settings.PsetName[0], QStringLiteral("花子2"));
}

TEST(MainWindowStartup, SameDayRestartContinuesTheRichTextLog) {
  test::TempHome home;
  {
    Program p(home.path());
    p.core.instance().settings.AutoSaveRTF = true;
    p.core.chat_log().SystemLine(QStringLiteral("一回目の行"));
  }
  Program p(home.path());
  EXPECT_TRUE(p.core.chat_log().LogText().contains(QStringLiteral("一回目の行")));
  EXPECT_FALSE(p.ChatText().contains(QStringLiteral("一回目の行")));  // rtbMain starts empty
  p.core.chat_log().SystemLine(QStringLiteral("二回目の行"));
  const QString log = p.core.chat_log().LogText();
  EXPECT_LT(log.indexOf(QStringLiteral("一回目の行")), log.indexOf(QStringLiteral("二回目の行")));
}

TEST(MainWindowLayout, EveryMenuEntryIsPresentWithItsCaption) {
  test::TempHome home;
  Program p(home.path());
  const std::vector<std::pair<const char*, const char*>> entries = {
      {"mnuFileSub_0", "会話ログを保存"},
      {"mnuFileSub_1", "会話ログを上書き保存"},
      {"mnuFileSub_2", "RTFで保存"},
      {"mnuFileSub_3", "RTFで上書き保存"},
      {"mnuExit", "終了"},
      {"mnuConSub_0", "サーバになる"},
      {"mnuConSub_1", "サーバに接続"},
      {"mnuConSub_3", "接続を切る"},
      {"mnuConSub_5", "ＩＰを表示してコピー"},
      {"mnuConSub_6", "WinIPCfgを起動"},
      {"mnuSetSub_0", "ユーザー情報設定"},
      {"mnuSetSub_1", "アプリケーション設定"},
      {"mnuSetSub_3", "複数行発言許可"},
      {"mnuSetSub_5", "宛名リストを表示"},
      {"mnuSetSub_6", "あて先リストを表示"},
      {"mnuSetSub_7", "宛名選択を発言毎に戻す"},
      {"mnuSetSub_8", "あて先選択を発言毎に戻す"},
      {"mnuExtSub_0", "ダイス機能"},
      {"mnuExtSub_7", "シナリオ機能"},
      {"mnuSpExtSub_0", "ファイルの転送実行"},
      {"mnuSpExtSubSub_0", "無条件で受信・実行する"},
      {"mnuSpExtSubSub_6", "一切受信・実行しない"},
      {"mnuHelpSub_0", "ヘルプ"},
      {"mnuHelpSub_1", "バージョン情報"}};
  for (const auto& [name, caption] : entries) {
    QAction* a = p.action(name);
    ASSERT_NE(a, nullptr) << name;
    EXPECT_EQ(a->text(), QString::fromUtf8(caption)) << name;
  }
  EXPECT_EQ(p.action("mnuFileSub_1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(p.action("mnuFileSub_3")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
  EXPECT_FALSE(p.action("mnuHelpSub_0")->isEnabled());
  EXPECT_EQ(p.action("mnuHelpSub_0")->shortcut(), QKeySequence(Qt::Key_F1));
  // Not connected: serving and connecting are offered, disconnecting is not.
  EXPECT_TRUE(p.action("mnuConSub_0")->isEnabled());
  EXPECT_FALSE(p.action("mnuConSub_3")->isEnabled());
  for (const char* name : {"SysReqMes", "CurHandle", "CurBufNum", "CurTime"}) {
    EXPECT_NE(p.label(name), nullptr) << name;
  }
  EXPECT_NE(p.window->findChild<QTextEdit*>("rtbMain"), nullptr);
  EXPECT_NE(p.window->findChild<QPushButton*>("cmdMessSend"), nullptr);
  EXPECT_EQ(p.label("CurBufNum")->toolTip(), QStringLiteral("現在の発言場"));
}

TEST(MainWindowLayout, ListTogglesHideListsAndResetTheirSelection) {
  test::TempHome home;
  Program p(home.path());
  Recipients& rec = p.core.recipients();
  rec.InsertTopEntries();
  rec.AddParticipant(2, QStringLiteral("太郎"), QStringLiteral("さん"));
  rec.SelectReDir(1);
  p.action("mnuSetSub_5")->trigger();  // hide the addressee list
  EXPECT_FALSE(p.list("lstReDir")->isVisible());
  EXPECT_EQ(rec.ReDirRow(), 0);
  EXPECT_FALSE(p.core.instance().settings.ReDirListBox);
  p.action("mnuSetSub_5")->trigger();
  EXPECT_TRUE(p.list("lstReDir")->isVisible());
  EXPECT_EQ(p.list("lstReDir")->item(1)->text(), QStringLiteral("＞太郎さん"));

  // Resizing to tiny and large sizes keeps every control inside the window.
  for (QSize size : {QSize(200, 170), QSize(1400, 900)}) {
    p.window->resize(size);
    QApplication::processEvents();
    const QRect client = p.window->rect();
    for (QWidget* w :
         {static_cast<QWidget*>(p.input()), static_cast<QWidget*>(p.list("lstSend"))}) {
      const QRect r(w->mapTo(p.window.get(), QPoint(0, 0)), w->size());
      EXPECT_TRUE(client.contains(r)) << size.width();
    }
  }
}

TEST(MainWindowInput, BuffersFollowCtrlDigitsAndPresets) {
  test::TempHome home;
  Program p(home.path());
  p.core.instance().settings.PsetMes[5] = QStringLiteral("定型文その５");
  p.input()->setPlainText(QStringLiteral("下書き０"));
  p.Key(Qt::Key_5, Qt::ControlModifier);
  EXPECT_EQ(p.input()->toPlainText(), QStringLiteral("定型文その５"));
  EXPECT_EQ(p.Panel(kPanelCurBufNum), QStringLiteral("発言場５"));
  p.input()->setPlainText(QStringLiteral("書きかけ"));
  p.Key(Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(p.input()->toPlainText(), QStringLiteral("下書き０"));
  p.Key(Qt::Key_5, Qt::ControlModifier);
  EXPECT_EQ(p.input()->toPlainText(), QStringLiteral("書きかけ"));

  // Ctrl+Shift+Right/Left step through the buffers, wrapping.
  p.Key(Qt::Key_9, Qt::ControlModifier);
  p.Key(Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(p.Panel(kPanelCurBufNum), QStringLiteral("発言場０"));
  p.Key(Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(p.Panel(kPanelCurBufNum), QStringLiteral("発言場９"));

  // Clicks on panel 3: right goes to the next buffer, left to the previous, wrapping.
  QTest::mouseClick(p.label("CurBufNum"), Qt::RightButton);
  EXPECT_EQ(p.Panel(kPanelCurBufNum), QStringLiteral("発言場０"));
  QTest::mouseClick(p.label("CurBufNum"), Qt::LeftButton);
  EXPECT_EQ(p.Panel(kPanelCurBufNum), QStringLiteral("発言場９"));
}

TEST(MainWindowInput, EnterSendsAndResetsToBufferZeroUnlessMultiLineIsAllowed) {
  test::TempHome home;
  Program p(home.path());
  p.input()->setPlainText(QStringLiteral("バッファ０の文"));
  p.Key(Qt::Key_7, Qt::ControlModifier);
  p.input()->setPlainText(QStringLiteral("送る文"));
  p.Key(Qt::Key_Return);
  // Not connected: nothing goes out, but the buffer is used up and buffer 0 is back.
  EXPECT_EQ(p.Panel(kPanelCurBufNum), QStringLiteral("発言場０"));
  EXPECT_EQ(p.input()->toPlainText(), QStringLiteral("バッファ０の文"));
  EXPECT_TRUE(p.core.buffers().Text(7).isEmpty());

  p.action("mnuSetSub_3")->trigger();  // multi-line messages allowed
  EXPECT_TRUE(p.core.instance().settings.AllowMulitMes);
  p.input()->setPlainText(QStringLiteral("一行目"));
  p.input()->moveCursor(QTextCursor::End);
  p.Key(Qt::Key_Return);
  EXPECT_EQ(p.input()->toPlainText(), QStringLiteral("一行目\n"));
}

TEST(MainWindowInput, ShiftEnterSendsTooWithoutMultiLineAndLfLinesIndent) {
  test::TempHome home;
  Program p(home.path());
  p.input()->setPlainText(QStringLiteral("一行だけ"));
  p.input()->moveCursor(QTextCursor::End);
  p.Key(Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_TRUE(p.input()->toPlainText().isEmpty());  // sent (and used up), no line break

  p.action("mnuSetSub_3")->trigger();
  p.input()->setPlainText(QStringLiteral("一行目"));
  p.input()->moveCursor(QTextCursor::End);
  p.Key(Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(p.input()->toPlainText(), QStringLiteral("一行目\n"));
}

TEST(MainWindowInput, ShortcutsActOnKeysOfThisWindowOnly) {
  test::TempHome home;
  Program p(home.path());
  Recipients& rec = p.core.recipients();
  rec.InsertTopEntries();
  rec.AddParticipant(2, QStringLiteral("太郎"), QStringLiteral("さん"));
  QWidget tool;
  p.window->SetToolWindow(MainWindow::kScenario, &tool);
  p.action("mnuExtSub_7")->trigger();
  ASSERT_TRUE(tool.isVisible());
  QTest::keyClick(&tool, Qt::Key_3, Qt::ControlModifier);
  QTest::keyClick(&tool, Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(p.Panel(kPanelCurBufNum), QStringLiteral("発言場０"));
  EXPECT_EQ(rec.SendRow(), 0);
  p.Key(Qt::Key_3, Qt::ControlModifier);
  EXPECT_EQ(p.Panel(kPanelCurBufNum), QStringLiteral("発言場３"));

  // Minimising a tool window keeps its check; choosing the entry twice brings it back.
  QAction* entry = p.action("mnuExtSub_7");
  tool.setWindowState(Qt::WindowMinimized);
  EXPECT_TRUE(entry->isChecked());
  entry->trigger();
  EXPECT_FALSE(entry->isChecked());
  entry->trigger();
  EXPECT_TRUE(tool.isVisible());
  EXPECT_FALSE(tool.isMinimized());
  tool.close();
  EXPECT_FALSE(entry->isChecked());
  p.window->SetToolWindow(MainWindow::kScenario, nullptr);
}

TEST(MainWindowInput, CtrlArrowsStepThroughTheListsAndStopAtTheEnds) {
  test::TempHome home;
  Program p(home.path());
  Recipients& rec = p.core.recipients();
  rec.InsertTopEntries();
  rec.AddParticipant(2, QStringLiteral("太郎"), QStringLiteral("さん"));
  rec.AddParticipant(3, QStringLiteral("花子"), QStringLiteral("さん"));
  p.Key(Qt::Key_Down, Qt::ControlModifier);
  p.Key(Qt::Key_Down, Qt::ControlModifier);
  p.Key(Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(rec.SendRow(), 2);
  p.Key(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(rec.ReDirRow(), 1);
  p.Key(Qt::Key_Left, Qt::ControlModifier);
  p.Key(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(rec.ReDirRow(), 0);
  EXPECT_EQ(p.list("lstSend")->currentRow(), 2);
}

TEST(MainWindowMenus, HandleDialogVersionBoxAndIpCopy) {
  test::TempHome home;
  CommandLine options;
  options.port = test::FreePort();
  Program p(home.path(), options);
  p.dialogs.inputs.push_back(QString());  // an empty answer changes nothing
  p.action("mnuSetSub_0")->trigger();
  EXPECT_EQ(p.core.instance().OwnHandle, QStringLiteral("testhost"));
  EXPECT_EQ(p.dialogs.Last("input").title, QStringLiteral("ユーザー情報変更"));
  EXPECT_EQ(p.dialogs.Last("input").text,
            QStringLiteral("ハンドルを入力して下さい\n（必要なユーザー情報は、ハンドルのみです）"));
  p.dialogs.inputs.push_back(QStringLiteral("ゲームマスター"));
  p.action("mnuSetSub_0")->trigger();
  EXPECT_EQ(p.core.instance().OwnHandle, QStringLiteral("ゲームマスター"));
  EXPECT_EQ(p.label("CurHandle")->text(), QStringLiteral("ゲームマスター"));
  EXPECT_EQ(p.core.instance().settings.PsetName[0], QStringLiteral("ゲームマスター"));

  p.action("mnuHelpSub_1")->trigger();
  EXPECT_EQ(p.dialogs.Last("message").title, QStringLiteral("バージョン情報"));
  EXPECT_TRUE(
      p.dialogs.Last("message").text.startsWith(QStringLiteral("Quillora ver 2.10.1β\n\n")));

  p.action("mnuConSub_5")->trigger();
  EXPECT_EQ(p.dialogs.Last("message").title, QStringLiteral("IP Utility"));
  EXPECT_FALSE(p.dialogs.clipboard.isEmpty());
  // The box names what was copied and, below, what the router and this machine offer.
  EXPECT_TRUE(p.dialogs.Last("message").text.contains(p.dialogs.clipboard));
  EXPECT_TRUE(p.dialogs.Last("message").text.contains(QStringLiteral("LANのアドレス：")));
  // Serving without asking the router: the port is said to be closed, in both boxes.
  ASSERT_TRUE(p.core.session().BecomeServer());
  p.action("mnuConSub_5")->trigger();
  EXPECT_TRUE(p.dialogs.Last("message").text.contains(QStringLiteral("は開いていません")));
  p.action("mnuHelpSub_1")->trigger();
  EXPECT_TRUE(p.dialogs.Last("message").text.contains(QStringLiteral("はルータで開いていません")));
  p.core.session().Disconnect();
}

TEST(MainWindowMenus, DialogsGiveTheFocusBackToTheInputBox) {
  test::TempHome home;
  CommandLine options;
  options.port = 2301;
  Program p(home.path(), options);
  // The version box names the port in use.
  p.action("mnuHelpSub_1")->trigger();
  EXPECT_TRUE(p.dialogs.Last("message").text.contains(QStringLiteral("TCPポート2301番")));
  for (const char* entry : {"mnuConSub_1", "mnuSetSub_0", "mnuHelpSub_1", "mnuConSub_5",
                            "mnuFileSub_0", "mnuSpExtSub_0"}) {
    p.window->findChild<QTextEdit*>("rtbMain")->setFocus();
    QAction* action = p.action(entry);
    ASSERT_NE(action, nullptr) << entry;
    action->setEnabled(true);
    action->trigger();
    EXPECT_EQ(p.window->focusWidget(), p.input()) << entry;
  }
  // The file to send is looked for in the program folder first, under one filter text.
  EXPECT_EQ(p.dialogs.Last("open").text, home.path() + QStringLiteral("|全てのファイル(*.*) (*)"));
}

TEST(MainWindowMenus, ApplyingTheAppearanceSavesTheCurrentState) {
  test::TempHome home;
  Program p(home.path());
  p.window->resize(640, 480);
  ASSERT_TRUE(p.core.dice_options().RegisterDiceOptionSet(QStringLiteral("B"), 5,
                                                          QStringLiteral("今回の設定")));
  p.action("mnuSetSub_1")->trigger();
  QTest::mouseClick(p.window->findChild<QDialog*>("frmSetApp")->findChild<QPushButton*>("cmdOK"),
                    Qt::LeftButton);
  const QString ini = Cp932::DecodeFile(home.Read("app.ini"));
  EXPECT_TRUE(ini.contains(QStringLiteral("DiceOptValue66=5")));
  EXPECT_TRUE(ini.contains(QStringLiteral("DiceOptComment66=今回の設定")));
  const int twips = static_cast<int>(std::round(640 * 1440.0 / p.window->logicalDpiX()));
  EXPECT_TRUE(ini.contains(QStringLiteral("frmMain_Width=%1").arg(twips))) << qPrintable(ini);
  EXPECT_FALSE(p.core.chat_log().Main()->pageSize().isNull());
}

TEST(MainWindowMenus, HandlePanelClicksStepThroughPresetHandles) {
  test::TempHome home;
  Program p(home.path());
  p.core.instance().settings.PsetName[1] = QStringLiteral("二番目");
  QTest::mouseClick(p.label("CurHandle"), Qt::RightButton);
  EXPECT_EQ(p.core.instance().OwnHandle, QStringLiteral("二番目"));
  QTest::mouseClick(p.label("CurHandle"), Qt::LeftButton);
  QTest::mouseClick(p.label("CurHandle"), Qt::LeftButton);  // wraps to preset 9, empty
  EXPECT_EQ(p.core.instance().settings.PSetNameNum, 9);
  EXPECT_TRUE(p.core.instance().OwnHandle.isEmpty());
}

TEST(MainWindowMenus, ManualLogSavesFollowTheNameRules) {
  test::TempHome home;
  Program p(home.path());
  p.core.chat_log().SystemLine(QStringLiteral("保存する行"));
  p.dialogs.files.push_back(home.File("LOG.TXT"));
  p.action("mnuFileSub_0")->trigger();
  EXPECT_TRUE(QFile::exists(home.File("LOG.TXT.txt")));  // the ".txt" test is case-sensitive
  EXPECT_EQ(p.core.instance().text_log_file, QStringLiteral("LOG.TXT"));

  // Ctrl+S saves again to the remembered file without asking.
  QFile::remove(home.File("LOG.TXT.txt"));
  const size_t asked = p.dialogs.asked.size();
  p.action("mnuFileSub_1")->trigger();
  EXPECT_EQ(p.dialogs.asked.size(), asked);
  EXPECT_TRUE(QFile::exists(home.File("LOG.TXT.txt")));

  // Rich text: a name that already ends in ".rtf" keeps it.
  p.dialogs.files.push_back(home.File("chat.rtf"));
  p.action("mnuFileSub_2")->trigger();
  EXPECT_TRUE(p.core.instance().settings.RtfSaveDir.startsWith(home.path()));
  const QByteArray rtf = home.Read("chat.rtf");
  EXPECT_TRUE(rtf.startsWith("{\\rtf1"));

  // A failed save says so, naming the file.
  p.dialogs.files.push_back(home.File("app.ini/x.txt"));  // a file stands where the folder should
  p.action("mnuFileSub_0")->trigger();
  EXPECT_EQ(p.dialogs.Last("message").title, QStringLiteral("機能エラー"));
  EXPECT_TRUE(p.dialogs.Last("message").text.contains(QStringLiteral("x.txt")));
}

TEST(MainWindowShutdown, ClosingStoresWindowStateAndMenuChecks) {
  test::TempHome home;
  {
    Program p(home.path());
    p.action("mnuSetSub_6")->trigger();  // hide the destination list
    p.action("mnuSetSub_7")->trigger();
    p.action("mnuSpExtSubSub_4")->trigger();
    p.window->resize(700, 500);
    p.window->close();
  }
  Program again(home.path());
  const Settings& s = again.core.instance().settings;
  EXPECT_FALSE(s.SendToListBox);
  EXPECT_TRUE(s.ReDirListBox);
  EXPECT_TRUE(s.ReDirListReset);
  EXPECT_EQ(s.ExecuteLevel, 4);
  EXPECT_TRUE(again.action("mnuSpExtSubSub_4")->isChecked());
  EXPECT_FALSE(again.list("lstSend")->isVisible());
  EXPECT_EQ(s.frmMain_WindowMode, 0);
}

TEST(AppearanceDialog, OkAppliesTheWorkingCopyAndCancelDropsIt) {
  test::TempHome home;
  Program p(home.path());
  Recipients& rec = p.core.recipients();
  ParticipantRow(p.core.instance(), 2).Handle = QStringLiteral("太郎");
  rec.InsertTopEntries();
  rec.AddParticipant(2, QStringLiteral("太郎"), QStringLiteral("さん"));
  rec.SetTyping(2, QStringLiteral("太郎"), QStringLiteral("さん"), true);

  p.action("mnuSetSub_1")->trigger();
  auto* dialog = p.window->findChild<QDialog*>("frmSetApp");
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  // Every font and colour entry is visible at the dialog's size.
  for (const char* name : {"lstFont", "lstCol"}) {
    auto* list = dialog->findChild<QListWidget*>(name);
    const QListWidgetItem* last = list->item(list->count() - 1);
    EXPECT_TRUE(list->viewport()->rect().contains(list->visualItemRect(last)))
        << name << " " << list->viewport()->height() << " " << list->visualItemRect(last).bottom();
  }
  auto* presets = dialog->findChild<QListWidget*>("lstPreSet");
  auto* text = dialog->findChild<QLineEdit*>("txtPreSet");
  ASSERT_EQ(presets->count(), 20);
  EXPECT_EQ(presets->item(0)->text(), QStringLiteral("設定済みメッセージ１"));
  EXPECT_EQ(presets->item(18)->text(), QStringLiteral("設定済みユーザー名１０"));
  presets->setCurrentRow(19);  // the honorific
  EXPECT_EQ(text->text(), QStringLiteral("さん"));
  text->clear();
  presets->setCurrentRow(9);  // preset handle 0, the current one
  text->setText(QStringLiteral("新しい名前"));
  p.dialogs.colors.push_back(QColor(0, 0, 255));
  auto* colors = dialog->findChild<QListWidget*>("lstCol");
  colors->setCurrentRow(9);
  QTest::mouseClick(dialog->findChild<QLabel*>("lblSample_1"), Qt::LeftButton);
  QTest::mouseClick(dialog->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);

  EXPECT_FALSE(dialog->isVisible());
  const Settings& s = p.core.instance().settings;
  EXPECT_TRUE(s.PreFixStr.isEmpty());
  EXPECT_EQ(s.Color[kColorOwnHandle], 0xFF0000u);  // blue is 0x00BBGGRR = 0xFF0000
  EXPECT_EQ(p.core.instance().OwnHandle, QStringLiteral("新しい名前"));
  EXPECT_EQ(rec.ReDir()[1].text, QStringLiteral("＞太郎"));  // new honorific, no typing marks
  EXPECT_TRUE(Cp932::DecodeFile(home.Read("app.ini")).contains(QStringLiteral("新しい名前")));

  // Cancel leaves the live settings alone.
  p.action("mnuSetSub_1")->trigger();
  presets->setCurrentRow(19);
  text->setText(QStringLiteral("殿"));
  dialog->findChild<QCheckBox*>("chkAutoSaveRTF")->click();
  QTest::mouseClick(dialog->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
  EXPECT_TRUE(p.core.instance().settings.PreFixStr.isEmpty());
  EXPECT_FALSE(p.core.instance().settings.AutoSaveRTF);
}
