#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextEdit>
#include <QUrl>
#include <optional>
#if defined(__linux__)
#include <sched.h>
#endif

#include "app/AppCore.h"
#include "app/MainWindow.h"
#include "app/TableStore.h"
#include "chat/ChatHtml.h"
#include "common/HexContent.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSupport.h"
#include "dice/DiceBroadcast.h"
#include "gui/SessionHarness.h"
#include "gui/ToolsSeen.h"
#include "scenario/ScenarioWindow.h"
#include "text/Cp932.h"

using namespace quillora;
using namespace quillora::test;

namespace {

// The real program hosting with a table file, offscreen.
class Host {
 public:
  Host(const QString& home, int port, const QString& table) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(QUILLORA_EXE),
                  {"--home", home, "--port", QString::number(port), "--server", "--handle",
                   QStringLiteral("卓主"), "--table", table, "--no-port-mapping"});
  }
  ~Host() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(5000);
    }
  }
  QProcess process;
};

// A player's (or, given a table, a host's) whole program without windows.
struct Player {
  Player(const QString& handle, int port, const QString& table = {})
      : core(home.path(), 11, sound) {
    CommandLine options;
    options.handle = handle;
    options.port = port;
    options.server = !table.isEmpty();
    options.table = table;
    options.port_mapping = false;
    core.Startup(options);
    if (options.server) core.session().BecomeServer();
  }
  bool JoinWhenListening(int port) {
    // The host needs a moment before it listens.
    QTcpSocket probe;
    if (!WaitUntil(
            [&] {
              if (probe.state() == QAbstractSocket::ConnectedState) return true;
              if (probe.state() == QAbstractSocket::UnconnectedState) {
                probe.connectToHost(QHostAddress(QHostAddress::LocalHost),
                                    static_cast<quint16>(port));
              }
              return false;
            },
            30000)) {
      return false;
    }
    probe.abort();
    core.session().Connect(QStringLiteral("127.0.0.1"));
    return WaitUntil(
        [&] { return core.instance().SessionMode == ModeClient && core.instance().OwnIndex > 1; },
        20000);
  }
  TempHome home;
  FakeSound sound;
  AppCore core;
};

using Seen = ToolsSeen;

// The scheduling policy of this process's thread called `name` (Linux), or -1.
int PolicyOfThread(const QString& name) {
  for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs)) {
    QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
    if (!comm.open(QIODevice::ReadOnly) || QString::fromUtf8(comm.readAll()).trimmed() != name) {
      continue;
    }
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(task));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    // Fields after the command's closing parenthesis; the policy is field 41.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 38 ? fields[38].toInt() : -1;
  }
  return -1;
}

Seen Look(AppCore& core) { return LookAtTools(core); }

// Opens a table and waits until its state is in the tools (or it was refused).
bool OpenTable(TableKeeper& keeper, const QString& path) {
  std::optional<bool> done;
  QObject context;
  QObject::connect(&keeper, &TableKeeper::opened, &context, [&] { done = true; });
  QObject::connect(&keeper, &TableKeeper::openFailed, &context, [&] { done = false; });
  keeper.Open(path);
  return WaitUntil([&] { return done.has_value(); }, 20000) && *done;
}

// Closes the table and waits until the file's thread has let go of it.
bool CloseTable(TableKeeper& keeper) {
  bool idle = false;
  QObject context;
  QObject::connect(&keeper, &TableKeeper::idle, &context, [&] { idle = true; });
  keeper.Close();
  return WaitUntil([&] { return idle; }, 20000);
}

// One value from the table file, read as anyone would with the sqlite3 tool.
QString Query(const QString& path, const char* sql) {
  sqlite3* db = nullptr;
  QString out;
  if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
      SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
      out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return out;
}

void Exec(const QString& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

bool ChatHas(AppCore& core, const QString& text) {
  return core.chat_log().LogText().contains(text);
}

}  // namespace

TEST(TableFile, AHostKilledMidGameComesBackWithEveryToolForALateJoiner) {
  TempHome home;
  const QString file = home.File(QStringLiteral("卓/火曜の卓.qtable"));
  const QString scenario = home.File(QStringLiteral("シナリオ/第三話.txt"));
  const int port = FreePort();
  Seen before;
  {
    // The game master lays out the graphic card table and opens the scenario before the
    // evening, then quits in the usual way.
    Player gm(QStringLiteral("卓主"), port, file);
    AppCore& g = gm.core;
    gm.home.Write("data/tarot.txt", Cp932::Encode(QStringLiteral("塔\r\n星\r\n月")));
    g.instance().settings.Tarot4NovaRev = QStringLiteral("data\\tarot.txt");
    ASSERT_TRUE(WaitUntil([&] { return g.instance().OwnIndex == 1; }, 20000));
    g.cards().ChooseMode(Cards::kGraphic);
    g.cards().StartDecks();
    ASSERT_TRUE(WaitUntil([&] { return !g.cards().graphic_tarot().isEmpty(); }));
    g.cards().GraphicDraw(150, 120);
    g.cards().GraphicDraw(200, 140);
    ASSERT_TRUE(WaitUntil([&] { return Look(g).cards.size() == 2; }));
    g.scenario().place().SetFile(scenario);
    g.scenario().place().SetLine(3);
    g.Shutdown();
  }
  EXPECT_EQ(Query(file, "SELECT count(*) FROM card_table"), QStringLiteral("2"));
  EXPECT_EQ(Query(file, "SELECT value FROM card_info WHERE name='mode'"),
            QString::number(Cards::kGraphic));
  {
    Host host(home.path(), port, file);
    ASSERT_TRUE(host.process.waitForStarted(10000));
    Player alice(QStringLiteral("アリス"), port);
    ASSERT_TRUE(alice.JoinWhenListening(port));
    AppCore& a = alice.core;

    ASSERT_TRUE(a.table().AddRow());
    ASSERT_TRUE(a.table().AddColumn());
    a.table().CommitCell(0, 1, QStringLiteral("HP"));
    a.table().CommitCell(1, 1, QStringLiteral("ゴブリン　12"));
    ASSERT_EQ(a.counters().AddCount(0, true), 1);
    ASSERT_TRUE(a.counters().SetValue(1, -42));
    ASSERT_TRUE(a.counters().Rename(0, QStringLiteral("ラウンド")));
    ASSERT_EQ(a.hex_map().CreatePage(kHexHorizontal, 1, kPieceCorners, 20, 15), 1);
    a.hex_map().BeginStroke();
    for (int c = 2; c <= 9; ++c) a.hex_map().PaintOver(QPoint(c, 5), 0x3366CC);
    a.hex_map().EndStroke(0x3366CC);
    ASSERT_TRUE(a.hex_map().AddPieceAt(QPoint(3, 3), 0x0000FF));
    a.drawing().DrawShape(draw::kFilledBox, QPoint(100, 100), QPoint(300, 200), 0xFF0000);
    ASSERT_EQ(a.drawing().NewPage(), 1);
    a.drawing().DrawShape(draw::kLine, QPoint(0, 0), QPoint(959, 719), 0x00AA00);
    // The reopened host told the player the card mode; the repair lays out the table and the
    // player draws a third card.
    ASSERT_TRUE(WaitUntil([&] { return a.cards().mode() == Cards::kGraphic; }, 20000));
    a.cards().Repair();
    ASSERT_TRUE(WaitUntil([&] { return Look(a).cards.size() == 2; }, 20000));
    a.cards().GraphicDraw(300, 200);
    ASSERT_TRUE(WaitUntil([&] { return Look(a).cards.size() == 3; }, 20000));
    ASSERT_TRUE(a.chat().SendChatMessage(QStringLiteral("ここまで")));

    // The host writes once a second: the line said last is in the file, and so is all before it.
    ASSERT_TRUE(WaitUntil(
        [&] {
          return Query(file, "SELECT count(*) FROM chat_lines WHERE text = 'ここまで'") ==
                 QLatin1String("1");
        },
        20000));
    before = Look(a);
    EXPECT_EQ(Query(file, "SELECT value FROM counters WHERE element=1"), QStringLiteral("-42"));
    EXPECT_EQ(Query(file, "SELECT text FROM table_cells WHERE row=1 AND col=1"),
              QStringLiteral("ゴブリン　12"));
    EXPECT_EQ(Query(file, "SELECT count(*) FROM hex_pieces"), QStringLiteral("1"));
    EXPECT_EQ(Query(file, "SELECT count(*) FROM draw_pages"), QStringLiteral("2"));
    EXPECT_EQ(Query(file, "SELECT count(*) FROM card_table"), QStringLiteral("3"));
    // Who holds which card of the graphic deck: the game master two, the player one.
    EXPECT_EQ(Query(file, "SELECT count(*) FROM card_held WHERE kind='graphic' AND player=1"),
              QStringLiteral("2"));
    EXPECT_EQ(Query(file, "SELECT count(*) FROM card_held WHERE kind='graphic'"),
              QStringLiteral("3"));

    // The power goes.
    host.process.kill();
    ASSERT_TRUE(host.process.waitForFinished(10000));
    EXPECT_EQ(host.process.exitStatus(), QProcess::CrashExit);
  }
  ASSERT_EQ(before.table.size(), 4);
  ASSERT_EQ(before.counters.size(), 2);
  ASSERT_EQ(before.pages.size(), 2);
  ASSERT_EQ(before.cards.size(), 3);

  Host again(home.path(), port, file);
  ASSERT_TRUE(again.process.waitForStarted(10000));
  Player carol(QStringLiteral("キャロル"), port);
  ASSERT_TRUE(carol.JoinWhenListening(port));
  AppCore& c = carol.core;
  ASSERT_TRUE(WaitUntil([&] { return c.cards().mode() == Cards::kGraphic; }, 20000));
  c.cards().Repair();
  c.table().Repair();
  c.counters().RequestRepair();
  c.hex_map().RequestMaps();
  ASSERT_TRUE(c.drawing().RequestCatchUp());
  ASSERT_TRUE(WaitUntil([&] { return Look(c) == before; }, 40000))
      << Look(c).table.join(' ').toStdString() << "\n"
      << Look(c).counters.join(' ').toStdString() << "\n"
      << Look(c).hex.join(' ').toStdString() << " vs " << before.hex.join(' ').toStdString();
  // Opening made a backup first (once for each start with the file).
  EXPECT_EQ(TableStore::Backups(file).size(), 2);
  // The scenario and the line reached are still there for the game master's window.
  EXPECT_EQ(Query(file, "SELECT value FROM scenario WHERE name='file'"), scenario);
  EXPECT_EQ(Query(file, "SELECT value FROM scenario WHERE name='line'"), QStringLiteral("3"));
}

TEST(TableFile, ADamagedFileOpensTheNewestGoodBackupAndANewerOneIsRefused) {
  TempHome home;
  FakeSound sound;
  AppCore core(home.path(), 3, sound);
  core.Startup({});
  TableKeeper& keeper = core.table_keeper();
  const QString file = home.File(QStringLiteral("tables/週末.qtable"));

  ASSERT_TRUE(OpenTable(keeper, file));
  ASSERT_TRUE(core.counters().SetValue(0, 7));
  ASSERT_TRUE(keeper.Save());
  ASSERT_TRUE(CloseTable(keeper));
  // Eleven openings later ten backups are left, the newest holding the 7.
  for (int i = 0; i < 11; ++i) {
    ASSERT_TRUE(OpenTable(keeper, file));
    ASSERT_TRUE(CloseTable(keeper));
  }
  EXPECT_EQ(TableStore::Backups(file).size(), TableStore::kBackupsKept);
  ASSERT_TRUE(OpenTable(keeper, file));
  ASSERT_TRUE(core.counters().SetValue(0, 8));
  ASSERT_TRUE(CloseTable(keeper));

  // Garbage over the middle of the file.
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_GT(f.size(), 8192);
    f.seek(4096);
    f.write(QByteArray(static_cast<int>(f.size()) - 4096, '\x5a'));
  }
  ASSERT_TRUE(OpenTable(keeper, file));
  EXPECT_EQ(core.counters().At(0)->value, 7);  // the backup made before the 8
  EXPECT_TRUE(ChatHas(core, QStringLiteral("壊れていたため、最新の正常なバックアップ")));
  EXPECT_TRUE(TableStore::Healthy(file, nullptr));
  const QStringList aside = QDir(TableStore::BackupFolder(file)).entryList({"*.damaged-*"});
  EXPECT_EQ(aside.size(), 1);
  ASSERT_TRUE(CloseTable(keeper));

  // A file from a newer program is left alone.
  Exec(file, "PRAGMA user_version=99");
  ASSERT_TRUE(core.counters().SetValue(0, 1));
  EXPECT_FALSE(OpenTable(keeper, file));
  EXPECT_FALSE(keeper.IsOpen());
  EXPECT_EQ(core.counters().At(0)->value, 1);
  EXPECT_TRUE(ChatHas(core, QStringLiteral("新しい版のQuilloraで作られているため、開けません")));
  EXPECT_EQ(Query(file, "PRAGMA user_version"), QStringLiteral("99"));
}

namespace {

// The text a browser shows of a page: headless Chromium lays it out and hands back innerText.
std::optional<QString> BrowserText(const QString& html_path, const QString& work) {
  const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
  if (chromium.isEmpty()) return std::nullopt;
  QFile page(html_path);
  if (!page.open(QIODevice::ReadOnly)) return QString();
  QByteArray html = page.readAll();
  html.replace("</body>",
               "<script>const t=document.body.innerText;document.body.textContent='';"
               "const p=document.createElement('pre');p.id='out';p.textContent=t;"
               "document.body.appendChild(p);</script></body>");
  const QString probe = work + QStringLiteral("/probe.html");
  QFile out(probe);
  if (!out.open(QIODevice::WriteOnly) || out.write(html) != html.size()) return QString();
  out.close();
  QProcess browser;
  browser.start(chromium,
                {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--user-data-dir=" + work + "/profile", "--dump-dom",
                 QUrl::fromLocalFile(probe).toString()});
  if (!browser.waitForFinished(90000)) return QString();
  const QString dom = QString::fromUtf8(browser.readAllStandardOutput());
  const qsizetype from = dom.indexOf(QStringLiteral("<pre id=\"out\">"));
  const qsizetype to = dom.lastIndexOf(QStringLiteral("</pre>"));
  if (from < 0 || to < from) return QString();
  QString text = dom.mid(from + 14, to - from - 14);
  text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
  text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
  text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
  text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
  return text;
}

QString Lines(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  while (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  return text;
}

}  // namespace

TEST(TableFile, TheHtmlLogReadsInABrowserAsTheTextLogDoes) {
  TempHome home;
  FakeSound sound;
  AppCore core(home.path(), 3, sound);
  core.Startup({});
  ChatLog& log = core.chat_log();
  log.AppendChatLine(QStringLiteral("卓主："), kSpeakerOwn,
                     QStringLiteral("今夜は  森の奥へ <&> 行きます"), {}, 0);
  log.AppendChatLine(QStringLiteral("アリス："), kSpeakerOther,
                     QStringLiteral("了解！\n二行目です"), {}, 0x2040C0);
  log.AppendChatLine(QStringLiteral("ボブ(秘密通達)："), kSpeakerSystem, QStringLiteral("罠がある"),
                     QStringLiteral("ボブ"), 0x00A000);
  log.AppendChatLine(QStringLiteral("卓主："), kSpeakerOwn,
                     kSecretDicePrefix + QStringLiteral("2D6 = 11"), {}, 0);
  log.SystemLine(QStringLiteral("キャロルさんが入室しました"));

  const QString txt = home.File(QStringLiteral("log/今夜.txt"));
  const QString html = home.File(QStringLiteral("log/今夜.html"));
  const QString shared = home.File(QStringLiteral("log/公開用.html"));
  ASSERT_TRUE(log.SaveMainAsText(txt));
  ChatHtmlOptions options;
  options.title = QStringLiteral("火曜の卓");
  options.whisper_markers = {QStringLiteral("秘密通達)：")};
  options.secret_markers = {kSecretDicePrefix};
  ASSERT_TRUE(log.SaveMainAsHtml(html, options));
  options.leave_out_private = true;
  ASSERT_TRUE(log.SaveMainAsHtml(shared, options));

  const QString page = QString::fromUtf8(home.Read(QStringLiteral("log/今夜.html")));
  EXPECT_TRUE(page.contains(QStringLiteral("<meta charset=\"utf-8\">")));
  EXPECT_TRUE(page.contains(QStringLiteral("color:#c04020")));  // Alice's 0x2040C0
  EXPECT_TRUE(page.contains(QStringLiteral("class=\"whisper\"")));
  EXPECT_TRUE(page.contains(QStringLiteral("class=\"secret\"")));
  EXPECT_TRUE(page.contains(QStringLiteral("class=\"system\"")));
  EXPECT_FALSE(page.contains(QStringLiteral("src=")));  // nothing is loaded from elsewhere

  TempHome work;
  const std::optional<QString> shown = BrowserText(html, work.path());
  if (!shown) GTEST_SKIP() << "chromium is not installed: the page was not read back in a browser";
  const QString text = Lines(Cp932::DecodeFile(home.Read(QStringLiteral("log/今夜.txt"))));
  EXPECT_TRUE(text.contains(QStringLiteral("二行目です")));
  EXPECT_EQ(Lines(*shown).toStdString(), text.toStdString());

  const QString left = Lines(BrowserText(shared, work.path()).value_or(QString()));
  EXPECT_TRUE(left.contains(QStringLiteral("キャロルさんが入室しました")));
  EXPECT_TRUE(left.contains(QStringLiteral("二行目です")));
  EXPECT_FALSE(left.contains(QStringLiteral("罠がある")));
  EXPECT_FALSE(left.contains(QStringLiteral("2D6 = 11")));
}

namespace {

// How a chat box shows the paragraph that holds `text`: each piece of it with its colour and
// weight, and the paragraph's indents. Empty when no paragraph holds it.
QString Shown(QTextDocument* doc, const QString& text) {
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    if (!b.text().contains(text)) continue;
    QString out = QStringLiteral("%1/%2:")
                      .arg(b.blockFormat().leftMargin())
                      .arg(b.blockFormat().textIndent());
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      out += QStringLiteral("[%1|%2|%3]")
                 .arg(f.text(), f.charFormat().foreground().color().name())
                 .arg(f.charFormat().fontWeight());
    }
    return out;
  }
  return {};
}

}  // namespace

TEST(TableFile, AReopenedTableShowsLastWeeksChatAndScenarioWithoutLoggingThemTwice) {
  TempHome home;
  FakeSound sound;
  const QString file = home.File(QStringLiteral("tables/月曜.qtable"));
  home.Write("シナリオ.txt", Cp932::Encode(QStringLiteral("#LABEL:始まり\r\n村長：ようこそ\r\n"
                                                          "*メモ\r\n#LABEL:森\r\n狼：ガルル\r\n")));
  const QString scenario = home.File(QStringLiteral("シナリオ.txt"));
  const QStringList said = {QStringLiteral("森へ行こう"), QStringLiteral("了解です"),
                            QStringLiteral("ボブさんが入室しました")};
  QStringList live;
  {
    AppCore core(home.path(), 3, sound);
    core.Startup({});
    core.instance().settings.AutoSaveText = true;
    ASSERT_TRUE(OpenTable(core.table_keeper(), file));
    ChatLog& log = core.chat_log();
    log.AppendChatLine(QStringLiteral("卓主："), kSpeakerOwn, said[0], {}, 0);
    log.AppendChatLine(QStringLiteral("アリス："), kSpeakerOther, said[1],
                       QStringLiteral("アリス(長い名前)："), 0x2040C0);
    log.SystemLine(said[2]);
    for (const QString& text : said) live << Shown(core.chat_log().Main(), text);
    ScriptedDialogs dialogs;
    ScenarioWindow window(core.instance(), core.scenario(), dialogs);
    ASSERT_TRUE(window.LoadScenario(scenario));
    window.JumpToLabel(QStringLiteral("森"));
    ASSERT_TRUE(CloseTable(core.table_keeper()));
    core.Shutdown();
  }
  ASSERT_EQ(Query(file, "SELECT count(*) FROM chat_lines"), QStringLiteral("3"));
  EXPECT_EQ(Query(file, "SELECT value FROM scenario WHERE name='line'"), QStringLiteral("3"));

  // Next week: the same program folder (the same day log, as on a host that runs all week).
  AppCore core(home.path(), 3, sound);
  core.Startup({});
  ScriptedDialogs dialogs;
  ScenarioWindow window(core.instance(), core.scenario(), dialogs);
  ASSERT_TRUE(OpenTable(core.table_keeper(), file));
  ChatLog& log = core.chat_log();
  for (int i = 0; i < said.size(); ++i) {
    EXPECT_FALSE(live[i].isEmpty());
    EXPECT_EQ(Shown(log.Main(), said[i]).toStdString(), live[i].toStdString());
  }
  EXPECT_TRUE(log.Main()->toPlainText().contains(
      QStringLiteral("卓「月曜.qtable」を開きました。ここまでの3行は前回までの発言です。")));
  // Today's log file and the box it is written from (loaded from the file at start) have each
  // line once; the reopening line is new.
  ASSERT_TRUE(core.instance().settings.AutoSaveText);
  log.Flush();
  const QString day = Cp932::DecodeFile(
      home.Read(QDir(home.path()).relativeFilePath(log.DayLogPath(QStringLiteral(".txt")))));
  for (const QString& text : said) {
    EXPECT_EQ(day.count(text), 1) << text.toStdString();
    EXPECT_EQ(log.LogText().count(text), 1) << text.toStdString();
  }
  ASSERT_TRUE(WaitUntil(
      [&] { return Query(file, "SELECT count(*) FROM chat_lines") == QLatin1String("4"); }, 5000));
  // The scenario window shows the scenario at the line reached.
  EXPECT_EQ(window.Lines().value(4), QStringLiteral("狼：ガルル"));
  EXPECT_EQ(window.findChild<QTextEdit*>(QStringLiteral("rtbMain"))->textCursor().blockNumber(), 3);

  // A flood does not wait a whole second in memory: its first lines go to the file in a batch
  // of their own while the rest are still being collected.
  for (size_t i = 0; i < 2 * TableKeeper::kChatLinesPerWrite + 100; ++i) {
    log.AppendChatLine(QStringLiteral("荒らし："), kSpeakerOther, QStringLiteral("連投"), {}, 0);
  }
  QString first_seen;
  ASSERT_TRUE(WaitUntil(
      [&] {
        first_seen = Query(file, "SELECT count(*) FROM chat_lines");
        return first_seen != QLatin1String("4");
      },
      5000));
  EXPECT_EQ(first_seen, QString::number(4 + TableKeeper::kChatLinesPerWrite));
  ASSERT_TRUE(WaitUntil(
      [&] {
        return Query(file, "SELECT count(*) FROM chat_lines") ==
               QString::number(4 + 2 * TableKeeper::kChatLinesPerWrite + 100);
      },
      10000));
#if defined(Q_OS_LINUX) && defined(SCHED_IDLE)
  // It was written from behind the session, by a thread that gives way to every other.
  EXPECT_EQ(PolicyOfThread(QStringLiteral("table file")), SCHED_IDLE);
#endif
}

TEST(TableFile, TheFileMenuCreatesSavesCopiesAndOpensTablesAndWritesTheHtmlLog) {
  TempHome home;
  FakeSound sound;
  ScriptedDialogs dialogs;
  AppCore core(home.path(), 11, sound);
  core.Startup({});
  MainWindow window(core, dialogs);
  window.show();
  TableKeeper& keeper = core.table_keeper();
  auto trigger = [&](const char* name) {
    QAction* action = window.menu_action(QString::fromLatin1(name));
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  };
  int opened = 0, copied = 0;
  QStringList failed;
  QObject::connect(&keeper, &TableKeeper::opened, [&] { ++opened; });
  QObject::connect(&keeper, &TableKeeper::savedAs, [&] { ++copied; });
  QObject::connect(&keeper, &TableKeeper::saveFailed, [&](const QString& p) { failed << p; });
  const QString first = home.File(QStringLiteral("tables/一日目.qtable"));
  const QString second = home.File(QStringLiteral("tables/二日目.qtable"));

  // Nothing open yet: 卓を保存 asks for a name and starts a new table there.
  dialogs.files.push_back(first);
  trigger("mnuFileTableSave");
  ASSERT_TRUE(WaitUntil([&] { return opened == 1; }));
  EXPECT_EQ(keeper.Path(), first);
  ASSERT_TRUE(core.counters().SetValue(0, 5));
  trigger("mnuFileTableSave");
  ASSERT_TRUE(
      WaitUntil([&] { return Query(first, "SELECT value FROM counters WHERE element=0") == "5"; }));

  // 名前を付けて保存… goes on in a copy; later changes reach the copy only.
  dialogs.files.push_back(second);
  trigger("mnuFileTableSaveAs");
  ASSERT_TRUE(WaitUntil([&] { return copied == 1; }));
  EXPECT_EQ(keeper.Path(), second);
  ASSERT_TRUE(core.counters().SetValue(0, 9));
  trigger("mnuFileTableSave");
  ASSERT_TRUE(WaitUntil(
      [&] { return Query(second, "SELECT value FROM counters WHERE element=0") == "9"; }));
  EXPECT_EQ(Query(first, "SELECT value FROM counters WHERE element=0"), QStringLiteral("5"));

  // 卓を開く… brings the first day back.
  dialogs.files.push_back(first);
  trigger("mnuFileTableOpen");
  ASSERT_TRUE(WaitUntil([&] { return opened == 2; }));
  EXPECT_EQ(core.counters().At(0)->value, 5);
  EXPECT_EQ(keeper.Path(), first);
  EXPECT_TRUE(Cp932::DecodeFile(home.Read(QStringLiteral("app.ini"))).contains(first));

  // A copy that cannot be written says so.
  const size_t asked = dialogs.asked.size();
  dialogs.files.push_back(home.File(QStringLiteral("tables")));  // a folder, not a file
  trigger("mnuFileTableSaveAs");
  ASSERT_TRUE(WaitUntil([&] { return !failed.isEmpty(); }));
  ASSERT_TRUE(WaitUntil([&] { return dialogs.asked.size() > asked + 1; }));
  EXPECT_EQ(dialogs.asked.back().title, QStringLiteral("機能エラー"));
  EXPECT_EQ(keeper.Path(), first);

  // HTMLで保存…, whispers left out.
  core.chat_log().AppendChatLine(QStringLiteral("卓主："), kSpeakerOwn, QStringLiteral("おやすみ"),
                                 {}, 0);
  dialogs.confirms.push_back(false);
  dialogs.files.push_back(home.File(QStringLiteral("log/共有.html")));
  trigger("mnuFileHtml");
  EXPECT_TRUE(QString::fromUtf8(home.Read(QStringLiteral("log/共有.html")))
                  .contains(QStringLiteral("おやすみ")));
  window.close();
}

TEST(TableFile, OpeningAnotherTableWhilePlayersAreConnectedHandsItToThem) {
  TempHome home;
  const QString monday = home.File(QStringLiteral("月曜.qtable"));
  const QString friday = home.File(QStringLiteral("金曜.qtable"));
  {
    // Friday's table, made without a session: one table row, a counter, two hex pages, a
    // drawing.
    FakeSound sound;
    AppCore prep(home.path(), 5, sound);
    prep.Startup({});
    ASSERT_TRUE(OpenTable(prep.table_keeper(), friday));
    ASSERT_TRUE(prep.table().AddRow());
    prep.table().CommitCell(1, 0, QStringLiteral("金曜の敵"));
    ASSERT_TRUE(prep.counters().SetValue(0, 77));
    ASSERT_EQ(prep.hex_map().CreatePage(kHexSquare, 2, kPieceNoDirection, 12, 9), 1);
    ASSERT_EQ(prep.hex_map().CreatePage(kHexVertical, 1, kPieceCorners, 30, 20), 2);
    prep.hex_map().BeginStroke();
    for (int c = 1; c <= 12; ++c) prep.hex_map().PaintOver(QPoint(c, 4), 0x00C0FF);
    prep.hex_map().EndStroke(0x00C0FF);
    prep.drawing().DrawShape(draw::kFilledBox, QPoint(10, 10), QPoint(400, 300), 0x8000FF);
    ASSERT_TRUE(CloseTable(prep.table_keeper()));
  }

  const int port = FreePort();
  Player gm(QStringLiteral("卓主"), port, monday);
  AppCore& g = gm.core;
  ASSERT_TRUE(WaitUntil([&] { return g.instance().OwnIndex == 1; }, 20000));
  Player alice(QStringLiteral("アリス"), port);
  ASSERT_TRUE(alice.JoinWhenListening(port));
  AppCore& a = alice.core;
  // Monday: three table rows, three hex pages and three drawn pages the player has seen, more
  // pages than Friday's table has.
  for (int r = 0; r < 3; ++r) ASSERT_TRUE(g.table().AddRow());
  g.table().CommitCell(2, 0, QStringLiteral("月曜の敵"));
  for (int page = 1; page <= 3; ++page) {
    ASSERT_EQ(g.hex_map().CreatePage(kHexSquare, 1, kPieceNoDirection, 8, 8), page);
  }
  g.drawing().DrawShape(draw::kLine, QPoint(0, 0), QPoint(500, 500), 0x0000FF);
  for (int page = 1; page <= 2; ++page) {
    ASSERT_EQ(g.drawing().NewPage(), page);
    g.drawing().DrawShape(draw::kFilledBox, QPoint(50, 50), QPoint(90, 90), 0xFF0000);
  }
  UseSmallCardDecks(gm.home, g.instance().settings);
  g.cards().ChooseMode(Cards::kNova);
  g.cards().StartDecks();
  ASSERT_TRUE(WaitUntil([&] { return a.cards().nova().hand.size() == 4; }));
  const QStringList mondays_hand = a.cards().nova().hand;
  ASSERT_TRUE(WaitUntil([&] { return Look(a) == Look(g); }, 20000));
  ASSERT_EQ(a.hex_map().PageCount(), 3);
  ASSERT_EQ(a.drawing().HighestPage(), 2);

  ASSERT_TRUE(OpenTable(g.table_keeper(), friday));
  EXPECT_EQ(g.table().RowCount(), 2);
  EXPECT_EQ(g.hex_map().PageCount(), 2);
  EXPECT_EQ(g.counters().At(0)->value, 77);
  ASSERT_TRUE(WaitUntil([&] { return Look(a) == Look(g); }, 40000))
      << Look(a).table.join(' ').toStdString() << " vs " << Look(g).table.join(' ').toStdString()
      << "\n"
      << Look(a).counters.join(' ').toStdString() << " vs "
      << Look(g).counters.join(' ').toStdString() << "\n"
      << Look(a).hex.size() << " vs " << Look(g).hex.size();
  // Monday's extra rows and pages are gone for the player too.
  EXPECT_EQ(a.table().RowCount(), 2);
  EXPECT_EQ(a.hex_map().PageCount(), 2);
  EXPECT_EQ(a.drawing().HighestPage(), 0);

  // Back to Monday: its pages return, and its Nova game deals the player a hand from Monday's
  // decks, none of them the cards the file says were dealt already.
  ASSERT_TRUE(OpenTable(g.table_keeper(), monday));
  ASSERT_TRUE(WaitUntil([&] { return Look(a) == Look(g); }, 40000)) << Look(a).Describe();
  EXPECT_EQ(a.hex_map().PageCount(), 3);
  ASSERT_TRUE(WaitUntil([&] {
    const QStringList& hand = a.cards().nova().hand;
    return hand.size() == 4 && hand != mondays_hand;
  }));
  for (const QString& card : a.cards().nova().hand) EXPECT_FALSE(mondays_hand.contains(card));
  EXPECT_EQ(a.cards().nova().tarot, g.cards().nova().tarot);
}
