#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "table/SharedTable.h"
#include "table/TableFile.h"
#include "text/Cp932.h"
#include "unit/ChatFakes.h"

namespace quillora {
namespace {

using test::NetRig;
using test::SentToServer;

// The packets the router wrote to server link k, decoded.
QVector<Packet> SentTo(const NetRig& rig, int k) {
  QVector<Packet> packets;
  for (const auto& s : rig.writes) {
    if (s.link == k) packets.push_back(DecodePacket(s.bytes));
  }
  return packets;
}

Packet Incoming(int code, int kind, QVector<ItemValue> items, int sender = 4) {
  Packet p(static_cast<int16_t>(code), static_cast<int16_t>(kind), static_cast<int16_t>(sender));
  for (const auto& item : items) p.Add(item);
  return p;
}

QStringList Headers(const SharedTable& t) {
  QStringList out;
  for (int c = 1; c < t.ColumnCount(); ++c) out << t.Text(0, c);
  return out;
}

QStringList Names(const SharedTable& t) {
  QStringList out;
  for (int r = 1; r < t.RowCount(); ++r) out << t.Text(r, 0);
  return out;
}

class SharedTableTest : public ::testing::Test {
 protected:
  SharedTableTest() : table(rig.instance, rig.router, rig.dispatcher) {
    SetSessionMode(rig.instance, ModeClient);
    SetOwnIndex(rig.instance, 3);
    rig.instance.OwnHandle = QStringLiteral("Alice");
  }

  void Receive(const Packet& p) { rig.dispatcher.ClientDispatch(p); }
  bool Settle() {
    return QTest::qWaitFor([&] { return table.Idle(); }, 5000);
  }

  NetRig rig;
  SharedTable table;
};

TEST_F(SharedTableTest, CornerClicksAddNumberedColumnsAndRowsAndAnnounceThem) {
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.ColumnCount(), 1);
  EXPECT_EQ(table.Text(0, 0), QStringLiteral("左行 右列"));

  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(table.Click(0, 0, Qt::RightButton, {}), SharedTable::ClickResult::kChanged);
  }
  for (int i = 0; i < 2; ++i) table.Click(0, 0, Qt::LeftButton, {});
  table.Click(0, 0, Qt::MiddleButton, {});

  EXPECT_EQ(Headers(table), (QStringList{"列1", "列2", "列3"}));
  EXPECT_EQ(Names(table), (QStringList{"Alice1", "Alice2"}));
  EXPECT_EQ(table.ColumnId(3), 300003);
  EXPECT_EQ(table.RowId(2), 300002);  // rows count on their own
  EXPECT_EQ(table.Text(2, 3), QString());

  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 5);
  for (const Packet& p : sent) {
    EXPECT_EQ(p.MessageCode, 802);
    EXPECT_EQ(p.SenderIndex, 3);
    EXPECT_EQ(p.DestIndex, 0);
    EXPECT_EQ(p.Count(), 2);
  }
  EXPECT_EQ(sent[1].SubCode, 1);
  EXPECT_EQ(sent[1].Int(1), 300002);
  EXPECT_EQ(sent[1].Text(2), QStringLiteral("列2"));
  EXPECT_EQ(sent[4].SubCode, 2);
  EXPECT_EQ(sent[4].Int(1), 300002);
  EXPECT_EQ(sent[4].Text(2), QStringLiteral("Alice2"));
  EXPECT_TRUE(std::holds_alternative<int32_t>(sent[4].Item(1))) << "IDs travel as 32-bit";
}

TEST_F(SharedTableTest, LocksStopOnlyTheirOwnDirection) {
  table.SetLock(TableLock::kRows);
  EXPECT_EQ(table.Click(0, 0, Qt::LeftButton, {}), SharedTable::ClickResult::kNothing);
  EXPECT_EQ(table.Click(0, 0, Qt::RightButton, {}), SharedTable::ClickResult::kChanged);
  table.SetLock(TableLock::kColumns);
  EXPECT_FALSE(table.AddColumn());
  EXPECT_TRUE(table.AddRow());
  table.SetLock(TableLock::kBoth);
  EXPECT_FALSE(table.AddColumn());
  EXPECT_FALSE(table.AddRow());
  table.SetLock(TableLock::kNone);
  EXPECT_TRUE(table.AddColumn());
  EXPECT_TRUE(table.AddRow());
  EXPECT_EQ(Headers(table), (QStringList{"列1", "列2"}));
  EXPECT_EQ(Names(table), (QStringList{"Alice1", "Alice2"}));
  EXPECT_EQ(SentToServer(rig).size(), 4) << "blocked clicks send nothing";
}

TEST_F(SharedTableTest, OnlyOwnRowsAndHeadersOpenTheEditorExceptForTheServersUser) {
  table.AddColumn();
  table.AddRow();                                                 // own row 1
  Receive(Incoming(812, 2, {int32_t{400001}, QString("Bob1")}));  // Bob's row 2
  using R = SharedTable::ClickResult;
  EXPECT_EQ(table.Click(1, 1, Qt::LeftButton, {}), R::kOpenEditor);
  EXPECT_EQ(table.Click(1, 0, Qt::LeftButton, Qt::ShiftModifier), R::kOpenEditor);
  EXPECT_EQ(table.Click(2, 1, Qt::LeftButton, {}), R::kNothing);
  EXPECT_EQ(table.Click(2, 0, Qt::LeftButton, {}), R::kNothing);
  EXPECT_EQ(table.Click(0, 1, Qt::LeftButton, {}), R::kOpenEditor) << "headers are open to all";
  EXPECT_EQ(table.Click(1, 1, Qt::RightButton, {}), R::kNothing);
  EXPECT_EQ(table.Click(5, 1, Qt::LeftButton, {}), R::kNothing);

  SetSessionMode(rig.instance, ModeServer);
  SetOwnIndex(rig.instance, 1);
  EXPECT_EQ(table.Click(2, 1, Qt::LeftButton, {}), R::kOpenEditor);
  EXPECT_EQ(table.Click(1, 0, Qt::LeftButton, {}), R::kOpenEditor);
}

TEST_F(SharedTableTest, CtrlClicksDeleteRowsKeepingOneAndColumnsDownToNone) {
  table.AddColumn();
  table.AddColumn();
  table.AddRow();
  table.AddRow();
  table.CommitCell(1, 1, "a");
  table.CommitCell(1, 2, "b");
  table.CommitCell(2, 2, "d");
  rig.writes.clear();
  using R = SharedTable::ClickResult;

  EXPECT_EQ(table.Click(1, 1, Qt::LeftButton, Qt::ControlModifier), R::kNothing);
  EXPECT_EQ(table.Click(1, 0, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier),
            R::kNothing);
  EXPECT_EQ(table.RowCount(), 3);

  EXPECT_EQ(table.Click(1, 0, Qt::LeftButton, Qt::ControlModifier), R::kChanged);
  EXPECT_EQ(Names(table), QStringList{"Alice2"});
  EXPECT_EQ(table.Click(1, 0, Qt::LeftButton, Qt::ControlModifier), R::kNothing)
      << "the last data row stays";

  // Deleting the first column shifts IDs and texts of every row.
  EXPECT_EQ(table.Click(0, 1, Qt::LeftButton, Qt::ControlModifier), R::kChanged);
  EXPECT_EQ(Headers(table), QStringList{"列2"});
  EXPECT_EQ(table.ColumnId(1), 300002);
  EXPECT_EQ(table.Text(1, 1), QStringLiteral("d"));
  EXPECT_EQ(table.Click(0, 1, Qt::LeftButton, Qt::ControlModifier), R::kChanged);
  EXPECT_EQ(table.ColumnCount(), 1);

  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 3);
  EXPECT_EQ(sent[0].MessageCode, 803);
  EXPECT_EQ(sent[0].SubCode, 2);
  EXPECT_EQ(sent[0].Int(1), 300001);
  EXPECT_EQ(sent[1].SubCode, 1);
  EXPECT_EQ(sent[1].Int(1), 300001);
  EXPECT_EQ(sent[2].Int(1), 300002);
}

TEST_F(SharedTableTest, OthersRowsCannotBeDeletedByAClient) {
  table.AddRow();
  Receive(Incoming(812, 2, {int32_t{400001}, QString("Bob1")}));
  EXPECT_FALSE(table.DeleteRow(2));
  EXPECT_EQ(table.Click(2, 0, Qt::LeftButton, Qt::ControlModifier),
            SharedTable::ClickResult::kNothing);
  SetSessionMode(rig.instance, ModeServer);
  EXPECT_TRUE(table.DeleteRow(2));
}

TEST_F(SharedTableTest, CommitSendsTheCellEvenWhenUnchanged) {
  table.AddColumn();
  table.AddRow();
  rig.writes.clear();
  table.CommitCell(1, 1, QStringLiteral("HP 12"));
  table.CommitCell(1, 1, QStringLiteral("HP 12"));
  table.CommitCell(0, 1, QStringLiteral("体力"));
  table.CommitCell(7, 1, QStringLiteral("nowhere"));
  EXPECT_EQ(table.Text(1, 1), QStringLiteral("HP 12"));
  EXPECT_EQ(table.Text(0, 1), QStringLiteral("体力"));
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 3);
  EXPECT_EQ(sent[1].MessageCode, 801);
  EXPECT_EQ(sent[1].SubCode, 1);
  EXPECT_EQ(sent[1].Int(1), 300001);
  EXPECT_EQ(sent[1].Int(2), 300001);
  EXPECT_EQ(sent[1].Text(3), QStringLiteral("HP 12"));
  EXPECT_EQ(sent[2].Int(1), 0);
  EXPECT_EQ(sent[2].Text(3), QStringLiteral("体力"));
}

TEST_F(SharedTableTest, NothingIsSentOutsideASessionButTheTableStillWorks) {
  SetSessionMode(rig.instance, ModeNone);
  EXPECT_TRUE(table.AddColumn());
  table.CommitCell(0, 1, "x");
  EXPECT_EQ(Headers(table), QStringList{"x"});
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(SharedTableTest, RelayedChangesApplyByIdAndUnknownIdsChangeNothing) {
  QSignalSpy changed(&table, &SharedTable::tableChanged);
  Receive(Incoming(812, 1, {int32_t{200001}, QString("HP")}));
  Receive(Incoming(812, 1, {int32_t{200002}, QString("MP")}));
  Receive(Incoming(812, 2, {int32_t{400001}, QString("Bob1")}));
  Receive(Incoming(812, 2, {int32_t{400001}, QString("Bob the bold")}));  // renames
  Receive(Incoming(812, 1, {int32_t{200001}, QString("体力")}));
  Receive(Incoming(812, 3, {int32_t{200009}, QString("ignored")}));
  Receive(Incoming(812, 1, {int32_t{0}, QString("not a column")}));
  EXPECT_EQ(Headers(table), (QStringList{"体力", "MP"}));
  EXPECT_EQ(Names(table), QStringList{"Bob the bold"});

  Receive(Incoming(811, 1, {int32_t{400001}, int32_t{200002}, QString("7")}));
  Receive(Incoming(811, 1, {int32_t{0}, int32_t{0}, QString("corner")}));
  Receive(Incoming(811, 1, {int32_t{400002}, int32_t{200002}, QString("lost")}));
  Receive(Incoming(811, 1, {int32_t{400001}, int32_t{999}, QString("lost")}));
  EXPECT_EQ(table.Text(1, 2), QStringLiteral("7"));
  EXPECT_EQ(table.Text(0, 0), QStringLiteral("corner"));
  EXPECT_EQ(table.Text(1, 1), QString());

  QSignalSpy removing(&table, &SharedTable::aboutToRemove);
  Receive(Incoming(813, 1, {int32_t{200001}}));
  EXPECT_EQ(Headers(table), QStringList{"MP"});
  EXPECT_EQ(table.Text(1, 1), QStringLiteral("7")) << "texts move with their column";
  Receive(Incoming(813, 2, {int32_t{777}}));
  Receive(Incoming(813, 2, {int32_t{400001}}));
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(removing.count(), 3) << "an open editor closes before any deletion";
  EXPECT_EQ(changed.count(), 9);
  EXPECT_TRUE(rig.writes.isEmpty()) << "received changes are not sent on";
}

TEST_F(SharedTableTest, BrokenMessagesAreReportedAndLeaveTheTableAlone) {
  Receive(Incoming(812, 1, {int32_t{200001}, QString("HP")}));
  Receive(Incoming(811, 1, {int32_t{0}, int32_t{200001}}));  // text missing
  EXPECT_EQ(table.Text(0, 1), QStringLiteral("HP"));
  ASSERT_FALSE(rig.reports.isEmpty());
  EXPECT_TRUE(rig.reports.last().contains(QStringLiteral("@ UTbl_Clnt :")))
      << rig.reports.last().toStdString();
  Receive(Incoming(812, 1, {QString("abc"), QString("x")}));
  EXPECT_EQ(table.ColumnCount(), 2);
  EXPECT_TRUE(rig.reports.last().startsWith(QStringLiteral("Err 13 @ UTbl_Clnt")));
}

TEST_F(SharedTableTest, IdsThatDoNotFitThirtyTwoBitsAreRefused) {
  SetOwnIndex(rig.instance, 30000);
  EXPECT_FALSE(table.AddColumn());
  EXPECT_EQ(table.ColumnCount(), 1);
  EXPECT_TRUE(rig.reports.last().startsWith(QStringLiteral("Err 6 @ UTbl_MUP")));
  EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(SharedTableTest, RepairEmptiesTheTableAndAsksTheServer) {
  table.AddColumn();
  table.AddRow();
  table.CommitCell(0, 0, QStringLiteral("順番"));
  rig.writes.clear();
  EXPECT_TRUE(table.Repair());
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.ColumnCount(), 1);
  EXPECT_EQ(table.Text(0, 0), QStringLiteral("順番"));
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 1);
  EXPECT_EQ(sent[0].MessageCode, 809);
  EXPECT_EQ(sent[0].SubCode, 1);
  EXPECT_EQ(sent[0].SenderIndex, 3);
  EXPECT_EQ(sent[0].Count(), 0);

  SetSessionMode(rig.instance, ModeServer);
  table.AddColumn();
  EXPECT_FALSE(table.Repair());
  EXPECT_EQ(table.ColumnCount(), 2);
}

// The server's side: the whole table for a participant who asks.
class SharedTableServerTest : public SharedTableTest {
 protected:
  SharedTableServerTest() {
    SetSessionMode(rig.instance, ModeServer);
    SetOwnIndex(rig.instance, 1);
    rig.instance.OwnHandle = QStringLiteral("GM");
    table.AddColumn();
    table.AddColumn();
    table.AddRow();
    Receive(Incoming(812, 2, {int32_t{200001}, QString("Bob1")}));
    table.CommitCell(0, 1, QStringLiteral("HP"));
    table.CommitCell(1, 1, QStringLiteral("10"));
    table.CommitCell(2, 2, QStringLiteral("3"));
    rig.writes.clear();
  }
  void Ask(int participant) {
    Packet p(809, 1, static_cast<int16_t>(participant), 0);
    rig.dispatcher.DP_Serv(participant, p);
  }
};

TEST_F(SharedTableServerTest, AnswerGoesToTheAskerOnlyInColumnRowCellOrder) {
  table.SetPauseForTesting(0);
  Ask(2);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(rig.Recipients(), QVector<int>(2 + 2 + 4, 2));
  const auto sent = SentTo(rig, 2);
  ASSERT_EQ(sent.size(), 8);
  for (const Packet& p : sent) {
    EXPECT_EQ(p.SenderIndex, 1);
    EXPECT_EQ(p.DestIndex, 2);
  }
  auto expect = [&](int i, int code, int kind, QVector<ItemValue> items) {
    EXPECT_EQ(sent[i].MessageCode, code) << i;
    EXPECT_EQ(sent[i].SubCode, kind) << i;
    ASSERT_EQ(sent[i].Count(), items.size()) << i;
    for (int k = 0; k < items.size(); ++k) {
      if (std::holds_alternative<int32_t>(items[k])) {
        EXPECT_EQ(sent[i].Int(k + 1), std::get<int32_t>(items[k])) << i;
      } else {
        EXPECT_EQ(sent[i].Text(k + 1), std::get<QString>(items[k])) << i;
      }
    }
  };
  expect(0, 812, 1, {int32_t{100001}, QString("HP")});
  expect(1, 812, 1, {int32_t{100002}, QString("列2")});
  expect(2, 812, 2, {int32_t{100001}, QString("GM1")});
  expect(3, 812, 2, {int32_t{200001}, QString("Bob1")});
  expect(4, 811, 1, {int32_t{100001}, int32_t{100001}, QString("10")});
  expect(5, 811, 1, {int32_t{100001}, int32_t{100002}, QString()});
  expect(6, 811, 1, {int32_t{200001}, int32_t{100001}, QString()});
  expect(7, 811, 1, {int32_t{200001}, int32_t{100002}, QString("3")});
}

TEST_F(SharedTableServerTest, AnswerGoesAtLineSpeedWithoutBlockingAndStopsForALeaver) {
  QElapsedTimer clock;
  clock.start();
  Ask(3);
  EXPECT_TRUE(SentTo(rig, 3).isEmpty()) << "the handler only queues the answer";
  EXPECT_TRUE(table.AnswerPending(3));
  EXPECT_TRUE(table.AddColumn()) << "the table keeps working meanwhile";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !table.AnswerPending(3); }, 2000));
  EXPECT_LT(clock.elapsed(), 250) << "at the socket's pace, not a pause per packet";
  EXPECT_EQ(SentTo(rig, 3).size(), 8);

  // An asker that left is answered no further.
  Ask(4);
  rig.link(4).SetConnected(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !table.AnswerPending(4); }, 2000));
  EXPECT_TRUE(SentTo(rig, 4).isEmpty());
}

TEST_F(SharedTableServerTest, AnswerCarriesTextsAsTheyAreWhenEachPacketLeaves) {
  Ask(2);  // the answer starts once the handler has returned
  table.CommitCell(1, 1, QStringLiteral("9"));
  table.DeleteRow(2);
  table.DeleteColumn(2);
  ASSERT_TRUE(Settle());
  const auto sent = SentTo(rig, 2);
  ASSERT_EQ(sent.size(), 3) << "what was deleted meanwhile is skipped";
  EXPECT_EQ(sent[0].Text(2), QStringLiteral("HP"));
  EXPECT_EQ(sent[1].Text(2), QStringLiteral("GM1"));
  EXPECT_EQ(sent[2].MessageCode, 811);
  EXPECT_EQ(sent[2].Text(3), QStringLiteral("9")) << "a newer text is not undone";
}

TEST_F(SharedTableServerTest, AskingAgainRestartsTheAnswerAndOthersAreServedToo) {
  Ask(2);
  Ask(2);
  Ask(4);
  ASSERT_TRUE(Settle());
  EXPECT_EQ(SentTo(rig, 2).size(), 8) << "one answer for both requests";
  EXPECT_EQ(SentTo(rig, 2)[0].Text(2), QStringLiteral("HP"));
  EXPECT_EQ(SentTo(rig, 4).size(), 8);
}

TEST(TableFileTest, HeaderLineIsCaseBlindButExact) {
  EXPECT_TRUE(ParseTableDefinition(QStringLiteral("#TABLE FILE VER0.1\r\nHP\r\n")));
  EXPECT_TRUE(ParseTableDefinition(QStringLiteral("#Table File Ver0.1")));
  EXPECT_FALSE(ParseTableDefinition(QStringLiteral("#table file ver0.1 \r\nHP\r\n")));
  EXPECT_FALSE(ParseTableDefinition(QStringLiteral("HP\r\n#table file ver0.1\r\n")));
  EXPECT_FALSE(ParseTableDefinition(QString()));
}

TEST(TableFileTest, CommentsBlanksAndCommaLinesAreSkippedOthersKeptWhole) {
  const auto headers = ParseTableDefinition(
      QStringLiteral("#table file ver0.1\r\nHP\r\n# comment\r\n\r\n   \r\na,b\r\nMP\r\n"
                     "  行動値 \r\n\t\n最後"));
  ASSERT_TRUE(headers);
  EXPECT_EQ(*headers, (QStringList{"HP", "MP", "  行動値 ", "\t", "最後"}));
}

TEST(TableFileTest, FilesAreReadInTheWindowsCodePage) {
  test::TempHome home;
  home.Write("sjis.tb0", Cp932::Encode(QStringLiteral("#table file ver0.1\r\n体力\r\n精神力\r\n")));
  const auto headers = ReadTableDefinitionFile(home.File("sjis.tb0"));
  ASSERT_TRUE(headers);
  EXPECT_EQ(*headers, (QStringList{"体力", "精神力"}));
  EXPECT_FALSE(ReadTableDefinitionFile(home.File("missing.tb0")));
}

TEST_F(SharedTableTest, LoadingAFileSendsEachColumnAndShowsItAPauseLater) {
  rig.home.Write("def.tb0", QByteArray("#table file ver0.1\r\nHP\r\n#x\r\n\r\na,b\r\nMP\r\n"));
  table.AddColumn();  // the file's columns continue the column count
  rig.writes.clear();
  table.SetPauseForTesting(30);
  QSignalSpy failed(&table, &SharedTable::loadFailed);
  table.SetLock(TableLock::kBoth);  // locks do not apply to loading
  ASSERT_TRUE(table.LoadDefinitionFile(rig.home.File("def.tb0")));
  ASSERT_EQ(SentToServer(rig).size(), 1);
  EXPECT_EQ(table.ColumnCount(), 2) << "sent first, shown after the pause";
  ASSERT_TRUE(Settle());
  EXPECT_EQ(Headers(table), (QStringList{"列1", "HP", "MP"}));
  EXPECT_EQ(table.ColumnId(3), 300003);
  const auto sent = SentToServer(rig);
  ASSERT_EQ(sent.size(), 2);
  EXPECT_EQ(sent[0].MessageCode, 802);
  EXPECT_EQ(sent[0].SubCode, 1);
  EXPECT_EQ(sent[0].Int(1), 300002);
  EXPECT_EQ(sent[0].Text(2), QStringLiteral("HP"));
  EXPECT_EQ(sent[1].Text(2), QStringLiteral("MP"));
  EXPECT_EQ(failed.count(), 0);
}

TEST_F(SharedTableTest, FailedLoadsSaySoAndKeepWhatWasAdded) {
  table.SetPauseForTesting(0);
  QSignalSpy failed(&table, &SharedTable::loadFailed);
  rig.home.Write("bad.tb0", QByteArray("#table file ver0.1 \r\nHP\r\n"));
  EXPECT_FALSE(table.LoadDefinitionFile(rig.home.File("bad.tb0")));
  EXPECT_FALSE(table.LoadDefinitionFile(rig.home.File("none.tb0")));
  EXPECT_EQ(failed.count(), 2);
  EXPECT_EQ(table.ColumnCount(), 1);

  // A header too long for any packet stops the load after the columns before it.
  rig.home.Write("long.tb0",
                 "#table file ver0.1\r\nHP\r\n" + QByteArray(40000, 'x') + "\r\nMP\r\n");
  EXPECT_TRUE(table.LoadDefinitionFile(rig.home.File("long.tb0")));
  ASSERT_TRUE(Settle());
  EXPECT_EQ(failed.count(), 3);
  EXPECT_EQ(Headers(table), QStringList{"HP"});
  EXPECT_EQ(SentToServer(rig).size(), 1);
}

}  // namespace
}  // namespace quillora
