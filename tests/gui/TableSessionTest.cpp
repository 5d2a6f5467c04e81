// The shared table in a real session over loopback: a server and participants who add, edit and
// delete, and a late joiner who asks for the whole table.
#include <gtest/gtest.h>

#include <memory>

#include "gui/SessionHarness.h"
#include "table/SharedTable.h"

namespace quillora::test {
namespace {

// Every cell and every ID of a table, in grid order.
QStringList Snapshot(const SharedTable& t) {
  QStringList out;
  for (int c = 0; c < t.ColumnCount(); ++c) out << QString::number(t.ColumnId(c));
  for (int r = 0; r < t.RowCount(); ++r) {
    out << QString::number(t.RowId(r));
    for (int c = 0; c < t.ColumnCount(); ++c) out << t.Text(r, c);
  }
  return out;
}

struct TablePeer {
  TablePeer(const QString& handle, int port)
      : peer(handle, port),
        table(peer.instance, peer.session.router(), peer.session.dispatcher()) {}
  Peer peer;
  SharedTable table;
};

class TableSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    ASSERT_GT(port, 0);
    gm = std::make_unique<TablePeer>(QStringLiteral("GM"), port);
    alice = std::make_unique<TablePeer>(QStringLiteral("Alice"), port);
    bob = std::make_unique<TablePeer>(QStringLiteral("Bob"), port);
    gm->table.SetPauseForTesting(10);
    ASSERT_TRUE(StartServer(gm->peer));
    ASSERT_TRUE(Join(alice->peer, gm->peer));
    ASSERT_TRUE(Join(bob->peer, gm->peer));
    ASSERT_TRUE(WaitUntil([&] { return alice->peer.Lists(3) && gm->peer.Lists(3); }));
  }

  bool AllEqual() {
    return WaitUntil([&] {
      const QStringList mine = Snapshot(gm->table);
      return Snapshot(alice->table) == mine && Snapshot(bob->table) == mine;
    });
  }

  int port = 0;
  std::unique_ptr<TablePeer> gm, alice, bob;
};

TEST_F(TableSessionTest, RowsColumnsEditsAndDeletionsReachEveryone) {
  ASSERT_TRUE(alice->table.AddColumn());
  ASSERT_TRUE(alice->table.AddColumn());
  ASSERT_TRUE(alice->table.AddRow());
  ASSERT_TRUE(WaitUntil([&] { return bob->table.RowCount() == 2 && gm->table.RowCount() == 2; }));
  ASSERT_TRUE(bob->table.AddRow());
  ASSERT_TRUE(AllEqual());
  EXPECT_EQ(gm->table.Text(1, 0), QStringLiteral("Alice1"));
  EXPECT_EQ(gm->table.RowId(2), 300001);
  EXPECT_EQ(gm->table.Text(0, 2), QStringLiteral("列2"));

  // Ownership: Bob cannot touch Alice's row, but every header and the server's user everything.
  EXPECT_FALSE(bob->table.CanEdit(1));
  EXPECT_TRUE(bob->table.CanEdit(0));
  EXPECT_TRUE(gm->table.CanEdit(1));
  alice->table.CommitCell(1, 1, QStringLiteral("12"));
  bob->table.CommitCell(0, 1, QStringLiteral("HP"));
  gm->table.CommitCell(2, 2, QStringLiteral("GMの記入"));
  ASSERT_TRUE(AllEqual());
  EXPECT_EQ(bob->table.Text(1, 1), QStringLiteral("12"));
  EXPECT_EQ(alice->table.Text(0, 1), QStringLiteral("HP"));
  EXPECT_EQ(alice->table.Text(2, 2), QStringLiteral("GMの記入"));

  // Bob deletes the first column; everything right of it moves left everywhere.
  EXPECT_EQ(bob->table.Click(0, 1, Qt::LeftButton, Qt::ControlModifier),
            SharedTable::ClickResult::kChanged);
  ASSERT_TRUE(WaitUntil([&] { return gm->table.ColumnCount() == 2; }));
  ASSERT_TRUE(AllEqual());
  EXPECT_EQ(alice->table.Text(2, 1), QStringLiteral("GMの記入"));
  // The server's user may delete Alice's row.
  EXPECT_TRUE(gm->table.DeleteRow(1));
  ASSERT_TRUE(WaitUntil([&] { return alice->table.RowCount() == 2; }));
  ASSERT_TRUE(AllEqual());
  EXPECT_EQ(alice->table.Text(1, 0), QStringLiteral("Bob1"));
}

TEST_F(TableSessionTest, LateJoinerRepairsToTheServersTableAndKeepsUp) {
  alice->table.AddColumn();
  alice->table.AddRow();
  // Rows added at the same moment may land in different orders; these come one after another.
  ASSERT_TRUE(WaitUntil([&] { return bob->table.RowCount() == 2; }));
  bob->table.AddRow();
  ASSERT_TRUE(WaitUntil([&] { return gm->table.RowCount() == 3; }));
  alice->table.CommitCell(1, 1, QStringLiteral("先攻"));
  bob->table.CommitCell(0, 1, QStringLiteral("行動値"));
  ASSERT_TRUE(AllEqual());

  TablePeer carol(QStringLiteral("Carol"), port);
  ASSERT_TRUE(Join(carol.peer, gm->peer));
  EXPECT_EQ(carol.table.RowCount(), 1) << "a newcomer starts with an empty table";
  EXPECT_TRUE(carol.table.Repair());
  ASSERT_TRUE(WaitUntil([&] { return Snapshot(carol.table) == Snapshot(gm->table); }));
  EXPECT_EQ(carol.table.Text(2, 0), QStringLiteral("Bob1"));
  EXPECT_EQ(carol.table.Text(1, 1), QStringLiteral("先攻"));

  // Same IDs, so later changes by anybody reach the right cells at Carol's.
  bob->table.CommitCell(2, 1, QStringLiteral("8"));
  carol.table.CommitCell(0, 1, QStringLiteral("イニシアチブ"));
  ASSERT_TRUE(WaitUntil([&] {
    return carol.table.Text(2, 1) == QStringLiteral("8") &&
           alice->table.Text(0, 1) == QStringLiteral("イニシアチブ");
  }));
  ASSERT_TRUE(WaitUntil([&] { return Snapshot(carol.table) == Snapshot(gm->table); }));
  ASSERT_TRUE(AllEqual());
  // Nobody else got the answer.
  EXPECT_EQ(alice->table.ColumnCount(), 2);
}

TEST_F(TableSessionTest, ColumnsLoadedFromAFileAppearEverywhere) {
  bob->table.SetPauseForTesting(10);
  bob->peer.home.Write("init.tb0", QByteArray("#table file ver0.1\r\nHP\r\n# x\r\na,b\r\nMP\r\n"));
  ASSERT_TRUE(bob->table.LoadDefinitionFile(bob->peer.home.File("init.tb0")));
  ASSERT_TRUE(WaitUntil([&] { return bob->table.Idle() && gm->table.ColumnCount() == 3; }));
  ASSERT_TRUE(AllEqual());
  EXPECT_EQ(alice->table.Text(0, 2), QStringLiteral("MP"));
  EXPECT_EQ(alice->table.ColumnId(1), 300001);
}

}  // namespace
}  // namespace quillora::test
