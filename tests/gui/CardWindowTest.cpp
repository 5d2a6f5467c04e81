#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include "cards/CardTableView.h"
#include "cards/CardWindow.h"
#include "cards/Cards.h"
#include "common/ScriptedDialogs.h"
#include "common/TestSupport.h"
#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/Router.h"

namespace quillora::test {
namespace {

struct CardWindowRig {
  explicit CardWindowRig(int16_t mode)
      : instance(home.path(), 5),
        router(instance),
        dispatcher(instance, router),
        cards(instance, router, dispatcher),
        window(instance, cards, dialogs) {
    SetSessionMode(instance, mode);
    SetOwnIndex(instance, mode == ModeServer ? 1 : 2);
  }
  template <typename T>
  T* Find(const QString& name) const {
    return window.findChild<T*>(name);
  }
  TempHome home;
  Instance instance;
  Router router;
  Dispatcher dispatcher;
  Cards cards;
  ScriptedDialogs dialogs;
  CardWindow window;
};

TEST(CardWindowTest, ModesShowOneContainerAndTheGameMasterMenuIsTheServersOnly) {
  CardWindowRig server(ModeServer);
  server.window.show();
  const char* const containers[] = {"cntNova2nd", "cntNovaRev", "cntNovaRevGrp", "cntClampTRPG"};
  for (int m : {1, 2, 3, 0}) {
    server.Find<QAction>(QStringLiteral("mnuCardModeSub_%1").arg(m))->trigger();
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(server.Find<QWidget>(containers[c])->isVisible(), c == m) << m << " " << c;
      EXPECT_EQ(server.Find<QAction>(QStringLiteral("mnuCardModeSub_%1").arg(c))->isChecked(),
                c == m);
    }
  }
  // Nova on the server: the deck items with their defaults; "全員修復" shown but disabled.
  QMenu* gm = server.Find<QMenu>(QStringLiteral("mnuGM"));
  ASSERT_TRUE(gm->menuAction()->isVisible());
  EXPECT_EQ(server.window.GmItem(0)->text(), QStringLiteral("すべて初期化"));
  EXPECT_FALSE(server.window.GmItem(1)->isEnabled());
  EXPECT_TRUE(server.window.GmItem(11)->isChecked());
  server.window.GmItem(13)->trigger();
  server.window.GmItem(18)->trigger();
  server.window.GmItem(14)->trigger();
  server.window.MinusItem(2)->trigger();
  EXPECT_FALSE(server.window.GmItem(11)->isChecked());
  EXPECT_TRUE(server.window.GmItem(13)->isChecked());
  EXPECT_EQ(server.cards.options().jokers, 2);
  EXPECT_EQ(server.cards.options().sets, 3);
  EXPECT_FALSE(server.cards.options().shuffle_trump);
  EXPECT_TRUE(server.cards.options().minus[2]);
  // A new mode puts the options back.
  server.Find<QAction>(QStringLiteral("mnuCardModeSub_1"))->trigger();
  EXPECT_EQ(server.cards.options().jokers, 0);
  EXPECT_TRUE(server.window.GmItem(11)->isChecked());
  EXPECT_FALSE(server.window.MinusItem(2)->isChecked());
  EXPECT_TRUE(server.window.NovaButton(8)->isVisibleTo(&server.window) ||
              server.cards.mode() != Cards::kNova);

  server.dialogs.asked.clear();  // the CLAMP list's missing file was said on the way
  server.window.Repair();
  ASSERT_EQ(server.dialogs.asked.size(), 1u);
  EXPECT_EQ(server.dialogs.asked[0].title, QStringLiteral("機能エラー"));

  CardWindowRig client(ModeClient);
  client.window.show();
  EXPECT_FALSE(client.Find<QMenu>(QStringLiteral("mnuGM"))->menuAction()->isVisible());
  EXPECT_FALSE(client.window.NovaButton(8)->isVisible());
  EXPECT_FALSE(client.window.NovaButton(0)->isEnabled()) << "no hand yet";
  for (const char* name :
       {"lblTrotCard", "lstTrump", "lblAccessCard", "lstAccessCard", "lblTrotCardNovaRev",
        "lstTrumpNovaRev", "lstProt", "chkSecret", "cmdDrawCard_1", "cmdNovaRev_10", "frmCardPile",
        "frmCardDust", "frmCardPlace_0", "lblTrotNovaRevGpf", "picCardBMP", "mnuCardOptSub_0",
        "mnuCardOptSub_1", "mnuGMSubSub_3"}) {
    EXPECT_NE(client.window.findChild<QObject*>(name), nullptr) << name;
  }
}

TEST(CardWindowTest, AMissingCardFileIsShownOnceInTheLoadersMessageBox) {
  CardWindowRig server(ModeServer);
  server.instance.settings.Trump4NovaRev = QStringLiteral("data\\none.txt");
  server.Find<QAction>(QStringLiteral("mnuCardModeSub_3"))->trigger();
  ASSERT_EQ(server.dialogs.asked.size(), 1u);
  EXPECT_EQ(server.dialogs.asked[0].title, QStringLiteral("カード読み込みエラー"));
  EXPECT_TRUE(server.dialogs.asked[0].text.endsWith(QStringLiteral("none.txtがありません")));
}

}  // namespace
}  // namespace quillora::test
