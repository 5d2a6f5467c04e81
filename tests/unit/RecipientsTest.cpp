#include <gtest/gtest.h>

#include <QSignalSpy>

#include "chat/Recipients.h"

namespace quillora {
namespace {

QStringList Texts(const QVector<RecipientEntry>& entries) {
  QStringList out;
  for (const auto& e : entries) out << e.text;
  return out;
}

// A newcomer hears about the others first, then about itself: the top entries go in front.
void Join(Recipients& r) {
  r.AddParticipant(1, QStringLiteral("GM"), QStringLiteral("さん"));
  r.AddParticipant(3, QStringLiteral("太郎"), QStringLiteral("さん"));
  r.InsertTopEntries();
}

TEST(RecipientsTest, JoinPutsTopEntriesFirstAndSelectsThem) {
  Recipients r;
  r.AddParticipant(1, QStringLiteral("GM"), QStringLiteral("さん"));
  r.AddParticipant(3, QStringLiteral("太郎"), QStringLiteral("さん"));
  QSignalSpy selection(&r, &Recipients::selectionChanged);
  r.InsertTopEntries();
  EXPECT_EQ(Texts(r.ReDir()), (QStringList{"＞なし", "＞GMさん", "＞太郎さん"}));
  EXPECT_EQ(Texts(r.Send()), (QStringList{"全員", "GM", "太郎"}));
  EXPECT_EQ(r.ReDir()[0].data, -1);
  EXPECT_EQ(r.Send()[0].data, -1);
  EXPECT_EQ(r.Send()[2].data, 3);
  EXPECT_EQ(r.ReDirRow(), 0);
  EXPECT_EQ(r.SendRow(), 0);
  EXPECT_EQ(selection.count(), 1);

  // A repeated confirmation does not stack a second pair.
  r.InsertTopEntries();
  EXPECT_EQ(r.ReDir().size(), 3);
}

TEST(RecipientsTest, RepeatedAnnouncementRenamesInsteadOfDuplicating) {
  Recipients r;
  Join(r);
  EXPECT_FALSE(r.AddParticipant(3, QStringLiteral("花子"), QStringLiteral("さん")));
  EXPECT_EQ(Texts(r.ReDir()), (QStringList{"＞なし", "＞GMさん", "＞花子さん"}));
  EXPECT_EQ(Texts(r.Send()), (QStringList{"全員", "GM", "花子"}));
  EXPECT_FALSE(r.AddParticipant(0, QStringLiteral("x"), {}));
  EXPECT_FALSE(r.AddParticipant(-1, QStringLiteral("x"), {}));
}

TEST(RecipientsTest, RemoveKeepsListsAlignedAndSelectionOnTheSameEntry) {
  Recipients r;
  Join(r);
  r.AddParticipant(4, QStringLiteral("次郎"), QStringLiteral("さん"));
  r.SelectReDir(3);  // 次郎
  r.SelectSend(2);   // 太郎
  ASSERT_TRUE(r.RemoveParticipant(1));
  EXPECT_EQ(Texts(r.ReDir()), (QStringList{"＞なし", "＞太郎さん", "＞次郎さん"}));
  EXPECT_EQ(Texts(r.Send()), (QStringList{"全員", "太郎", "次郎"}));
  EXPECT_EQ(r.SelectedReDir()->data, 4);
  EXPECT_EQ(r.SelectedSend()->data, 3);

  // The selected destination leaves: the whisper falls back to everyone, never to a neighbour.
  ASSERT_TRUE(r.RemoveParticipant(3));
  EXPECT_EQ(r.SendRow(), 0);
  EXPECT_EQ(r.SelectedReDir()->data, 4);
  EXPECT_FALSE(r.RemoveParticipant(3));
}

TEST(RecipientsTest, TypingMarkersAndRename) {
  Recipients r;
  Join(r);
  QSignalSpy changed(&r, &Recipients::listsChanged);
  ASSERT_TRUE(r.SetTyping(3, QStringLiteral("太郎"), QStringLiteral("さん"), true));
  EXPECT_EQ(r.ReDir()[2].text, QStringLiteral("***＞太郎さん***"));
  EXPECT_EQ(r.Send()[2].text, QStringLiteral("太郎"));
  r.SetTyping(3, QStringLiteral("太郎"), QStringLiteral("さん"), false);
  EXPECT_EQ(r.ReDir()[2].text, QStringLiteral("＞太郎さん"));
  EXPECT_EQ(changed.count(), 2);

  ASSERT_TRUE(r.Rename(3, QStringLiteral("花子"), QStringLiteral("殿")));
  EXPECT_EQ(r.ReDir()[2].text, QStringLiteral("＞花子殿"));
  EXPECT_EQ(r.Send()[2].text, QStringLiteral("花子"));
  EXPECT_FALSE(r.SetTyping(9, QStringLiteral("誰か"), {}, true));
}

TEST(RecipientsTest, SelectionBoundsAndClear) {
  Recipients r;
  Join(r);
  r.SelectSend(7);
  EXPECT_EQ(r.SendRow(), 0);
  r.SelectSend(-1);
  EXPECT_EQ(r.SelectedSend(), nullptr);
  QSignalSpy selection(&r, &Recipients::selectionChanged);
  r.Clear();
  EXPECT_TRUE(r.ReDir().isEmpty());
  EXPECT_TRUE(r.Send().isEmpty());
  EXPECT_EQ(r.ReDirRow(), -1);
  EXPECT_EQ(selection.count(), 1);
}

}  // namespace
}  // namespace quillora
