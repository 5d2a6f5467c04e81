// Card benchmark: the server's deck start for a full table, and a full redraw of the graphic
// table with every card in use.
//
//   cards_bench [rounds]      (default 50)
//
// Deck start: three trump sets, every shuffle on, 32 connected clients; the time runs from the
// game master's command until every deal has been written to its client's socket (the fake
// sockets here take the bytes at once, so the figure is the server's own work).
// Redraw: all 163 cards in use (faces, backs, the viewer's own marked cards, upright and
// sideways) drawn into a 1600 × 1000 surface, the first drawing (which makes the pictures) and
// the following ones reported apart.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "cards/CardTablePainter.h"
#include "cards/Cards.h"
#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/MessageCodes.h"
#include "net/Router.h"
#include "text/Cp932.h"

namespace {

using Clock = std::chrono::steady_clock;
using quillora::Packet;

class CountingLink : public quillora::Link {
 public:
  bool IsConnected() const override { return true; }
  void Write(const QByteArray& bytes) override {
    ++writes;
    bytes_written += bytes.size();
  }
  int writes = 0;
  qint64 bytes_written = 0;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Report(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-34s median %8.3f ms   p90 %8.3f ms   max %8.3f ms\n", what, ms[ms.size() / 2],
              ms[ms.size() * 9 / 10], ms.back());
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

  QTemporaryDir home;
  QDir(home.path()).mkpath(QStringLiteral("data"));
  auto write = [&](const char* name, const QString& prefix, int n) {
    QStringList lines{QStringLiteral("#SpecialCard1=ジョーカー"),
                      QStringLiteral("#SpecialCard2=ジョーカー黒")};
    for (int i = 0; i < n; ++i) lines << prefix + QString::number(i);
    QFile f(home.filePath(QStringLiteral("data/") + QLatin1String(name)));
    f.open(QIODevice::WriteOnly);
    f.write(quillora::Cp932::Encode(lines.join(QStringLiteral("\r\n"))));
  };
  write("access.txt", QStringLiteral("アクセス"), 20);
  write("tarot.txt", QStringLiteral("タロット"), 22);
  write("n_trump.txt", QStringLiteral("スペードの"), 52);

  quillora::Instance instance(home.path(), 1);
  quillora::Router router(instance);
  quillora::Dispatcher dispatcher(instance, router);
  quillora::Cards cards(instance, router, dispatcher);
  quillora::SessionStateTestAccess::SetMode(instance, quillora::ModeServer);
  quillora::SessionStateTestAccess::SetOwnIndex(instance, 1);
  quillora::SessionStateTestAccess::SetSocketCount(instance, 32);
  instance.settings.AccessCard4Nova2nd = QStringLiteral("data\\access.txt");
  instance.settings.Tarot4Nova2nd = QStringLiteral("data\\tarot.txt");
  instance.settings.Trump4Nova2nd = QStringLiteral("data\\n_trump.txt");
  instance.settings.Tarot4NovaRev = QStringLiteral("data\\tarot.txt");
  instance.settings.Trump4NovaRev = QStringLiteral("data\\n_trump.txt");
  instance.settings.ShuffleCount = 200;
  instance.settings.AccessSC4Nova2nd = 15;
  std::vector<std::unique_ptr<CountingLink>> links;
  CountingLink own;
  router.SetClientLink(&own);
  for (int k = 1; k <= 32; ++k) {
    links.push_back(std::make_unique<CountingLink>());
    router.SetServerLink(k, links.back().get());
  }

  for (int mode : {quillora::Cards::kNova, quillora::Cards::kNovaRev}) {
    cards.ChooseMode(mode);
    cards.options().sets = 3;
    cards.options().jokers = 2;
    std::vector<double> ms;
    for (int r = 0; r < rounds; ++r) {
      for (auto& l : links) l->writes = 0;
      const auto t0 = Clock::now();
      cards.StartDecks();
      ms.push_back(Ms(Clock::now() - t0));
      for (auto& l : links) {
        if (l->writes < 1) std::printf("socket without a deal!\n");
      }
    }
    Report(mode == quillora::Cards::kNova ? "deck start, Nova, 32 clients"
                                          : "deck start, Nova Rev, 32 clients",
           ms);
  }

  // A table with every card in use: all faces and jokers, every look and both orientations.
  for (int i = 0; i < quillora::CardDecks::kRows; ++i) {
    Packet p(quillora::msg::kCardPlaced, 1, 1, 0);
    const int32_t suit = i % 54 < 52 ? i % 54 / 13 : 3, rank = i % 54 < 52 ? i % 13 : 13;
    p.Add(int32_t{i}).Add(suit).Add(rank);
    p.Add(int32_t{(i * 37) % 450}).Add(int32_t{(i * 53) % 290});
    p.Add(int32_t{i % 3}).Add(int32_t{1 + i % 2}).Add(int16_t(1 + i % 4)).Add(true);
    cards.HandleCardMessage(p);
  }
  Packet tarot(quillora::msg::kCardGraphicTarot, 1, 1, 0);
  cards.HandleCardMessage(tarot.Add(QStringLiteral("運命の輪")));

  QImage surface(1600, 1000, QImage::Format_ARGB32_Premultiplied);
  const QStringList places = {"プレイヤー１：GM", "プレイヤー２：Alice", "プレイヤー３：Bob",
                              "プレイヤー４",     "プレイヤー５",        "プレイヤー６"};
  quillora::CardTablePainter painter;
  std::vector<double> first, later;
  for (int r = 0; r < rounds; ++r) {
    QPainter p(&surface);
    const auto t0 = Clock::now();
    painter.Paint(p, surface.size(), cards, places, 2);
    (r == 0 ? first : later).push_back(Ms(Clock::now() - t0));
  }
  Report("redraw 163 cards, 1600x1000, first", first);
  if (!later.empty()) Report("redraw 163 cards, 1600x1000", later);
  if (argc > 2) surface.save(QString::fromLocal8Bit(argv[2]));
  return 0;
}
