// The hex map's drawing and synchronisation costs.
//   hexmap_bench [repetitions] [--no-session]
// 1. Full redraw of a 1600 x 1000 view of 16-pixel squares with labels on and a piece on every
//    fourth cell.
// 2. One 612 message of 255 cells applied and its cells redrawn (labels off and on).
// 3. A late joiner's request (609) for a 64 x 64 map answered over loopback: seconds until the
//    page is loaded and shown, at the file transfer's own pace.
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "TestSupport.h"
#include "core/Instance.h"
#include "hexmap/HexMap.h"
#include "hexmap/HexRenderer.h"
#include "net/FileTransfer.h"
#include "net/MessageCodes.h"
#include "net/Session.h"

using namespace quillora;

namespace {

// One program's model half: instance, session, file transfer and hex map.
struct Participant {
  explicit Participant(const QString& folder)
      : instance(folder, 1),
        session(instance),
        files(instance, session),
        map(instance, session.router(), session.dispatcher(), files) {}
  Instance instance;
  Session session;
  FileTransfer files;
  HexMap map;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

HexPage BenchPage() {
  HexPage page;
  page.Create(kHexSquare, 1, kPieceBoth, 100, 63);
  // A piece on every fourth cell. A page holds 255 slots, so the cells share them as their top
  // piece: the drawing cost is the same as for as many distinct pieces.
  for (int s = 1; s < kHexSlots; ++s) {
    HexPiece& p = page.MutablePiece(s);
    p.in_use = true;
    p.label = QStringLiteral("G%1").arg(s);
    p.colour = static_cast<uint32_t>(s * 0x10305) & 0xFFFFFF;
    p.direction = s % 8;
  }
  int n = 0;
  for (int r = 1; r <= 63; ++r) {
    for (int c = 1; c <= 100; ++c) {
      page.MutableCell(c, r).colour = (c * 7 + r * 3) % 5 == 0 ? 0x00C000 : 0xFFFFFF;
      if ((c + r * 100) % 4 == 0) page.MutableCell(c, r).top = 1 + (n++ % 255);
    }
  }
  return page;
}

void FullRedraw(int reps) {
  HexSprites sprites;
  HexRenderer renderer(sprites);
  const HexPage page = BenchPage();
  QImage view(1600, 1000, QImage::Format_ARGB32_Premultiplied);
  renderer.DrawAll(view, page, true);  // warm the caches, as the window's first draw does
  std::vector<double> ms;
  for (int i = 0; i < reps; ++i) {
    QElapsedTimer t;
    t.start();
    renderer.DrawAll(view, page, true);
    ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
  }
  std::printf("full redraw 1600x1000, 6300 cells, labels on: median %.2f ms, best %.2f ms\n",
              Median(ms), *std::min_element(ms.begin(), ms.end()));
}

void StrokeMessage(int reps, bool labels) {
  QTemporaryDir home;
  Participant p(home.path());
  quillora::SessionStateTestAccess::SetOwnIndex(p.instance, 2);
  HexSprites sprites;
  HexRenderer renderer(sprites);
  QImage view(1600, 1000, QImage::Format_ARGB32_Premultiplied);
  Packet create(msg::kHexPageCreated, 1, 1);
  create.Add(int32_t{1})
      .Add(int32_t{1})
      .Add(int32_t{1})
      .Add(int32_t{4})
      .Add(int32_t{100})
      .Add(int32_t{63});
  p.session.dispatcher().ClientDispatch(create);
  QObject::connect(&p.map, &HexMap::cellsChanged, [&](int, const QVector<QPoint>& cells) {
    renderer.DrawCells(view, *p.map.Current(), cells, labels);
  });
  renderer.DrawAll(view, *p.map.Current(), labels);
  std::mt19937 rng(5);
  std::vector<double> ms;
  for (int i = 0; i < reps; ++i) {
    Packet paint(msg::kHexCellsPainted, msg::kHexPaintList, 1);
    paint.Add(int32_t{1}).Add(static_cast<int32_t>(rng() & 0xFFFFFF)).Add(int32_t{255});
    for (int k = 0; k < 255; ++k) {
      paint.Add(static_cast<int32_t>(1 + rng() % 100)).Add(static_cast<int32_t>(1 + rng() % 63));
    }
    QElapsedTimer t;
    t.start();
    p.session.dispatcher().ClientDispatch(paint);
    ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
  }
  std::printf("612 of 255 scattered cells applied and redrawn, labels %s: median %.3f ms\n",
              labels ? "on " : "off", Median(ms));
}

bool Await(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

void LateJoiner() {
  QTemporaryDir a, b;
  Participant server(a.path());
  Participant joiner(b.path());
  const int port = 2500 + static_cast<int>(QCoreApplication::applicationPid() % 40);
  server.session.SetPort(port);
  joiner.session.SetPort(port);
  server.instance.OwnHandle = QStringLiteral("GM");
  joiner.instance.OwnHandle = QStringLiteral("Late");
  if (!server.session.BecomeServer() ||
      !Await([&] { return server.instance.OwnIndex == 1; }, 5000)) {
    std::printf("late joiner: could not serve on port %d\n", port);
    return;
  }
  server.map.CreatePage(kHexVertical, 1, kPieceBoth, 64, 64);
  for (int i = 0; i < 40; ++i) server.map.AddPieceAt(QPoint(1 + i, 1 + i), 0xFF);
  // Let the server's own messages pass its relay before the joiner arrives.
  QElapsedTimer settle;
  settle.start();
  Await([&] { return settle.elapsed() > 500; }, 1000);
  joiner.session.Connect(QStringLiteral("127.0.0.1"));
  if (!Await(
          [&] { return joiner.instance.SessionMode == ModeClient && joiner.instance.OwnIndex > 1; },
          5000)) {
    std::printf("late joiner: could not connect\n");
    return;
  }
  if (joiner.map.PageCount() != 0) {
    std::printf("late joiner: already holds %d pages\n", joiner.map.PageCount());
    return;
  }
  QElapsedTimer t;
  t.start();
  joiner.map.RequestMaps();
  const bool ok = Await([&] { return joiner.map.CurrentPage() == 1; }, 60000);
  std::printf("609 answer, one 64x64 page (%lld bytes as a file): %s after %.2f s\n",
              static_cast<long long>(8 * 65 * 65 + 72 + 4 + 40 * 30), ok ? "shown" : "NOT shown",
              static_cast<double>(t.elapsed()) / 1000.0);
  if (!ok) {
    std::printf("  joiner holds %d pages; server says \"%s\"; joiner says \"%s\"\n",
                joiner.map.PageCount(),
                qPrintable(server.instance.Panel(QLatin1String(kPanelSysReqMes))),
                qPrintable(joiner.instance.Panel(QLatin1String(kPanelSysReqMes))));
  }
  joiner.session.Disconnect();
  server.session.Disconnect();
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int reps = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 50;
  FullRedraw(reps);
  StrokeMessage(reps * 4, false);
  StrokeMessage(reps * 4, true);
  if (!(argc > 2 && std::strcmp(argv[2], "--no-session") == 0)) LateJoiner();
  return 0;
}
