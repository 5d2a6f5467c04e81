// Drawing board benchmark.
//
//   draw_bench [--pace MS]
//
// 1. Replays 20,000 freehand messages of 41 points each and reports the time per message.
// 2. Replays 10,000 mixed drawing messages (lines, boxes, filled boxes, strokes, ellipses,
//    text, eraser squares) on one page and paints the page scaled into a window-sized picture
//    after every 50 messages, as a view does when it catches up; reports the total.
// 3. A real server and a late joiner in this process over loopback: the server's user draws on
//    five pages, the joiner asks for the picture; reports the seconds until the joiner's five
//    pages equal the server's. File pieces are paced by FileTransfer's own pace unless --pace
//    is given.
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <random>

#include "core/Instance.h"
#include "drawing/DrawBoard.h"
#include "net/Dispatcher.h"
#include "net/FileTransfer.h"
#include "net/MessageCodes.h"
#include "net/Router.h"
#include "net/Session.h"

using namespace quillora;

namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

Packet Stroke(std::mt19937& rng) {
  Packet p(msg::kDrawShape, draw::kStroke, 2);
  p.Add(int16_t{0}).Add(int32_t(rng() & 0xFFFFFF)).Add(int32_t{41});
  int x = static_cast<int>(rng() % 900), y = static_cast<int>(rng() % 700);
  for (int k = 0; k < 41; ++k) {
    x = std::clamp(x + static_cast<int>(rng() % 21) - 10, 0, 959);
    y = std::clamp(y + static_cast<int>(rng() % 21) - 10, 0, 719);
    p.Add(int32_t(x)).Add(int32_t(y));
  }
  return p;
}

Packet Mixed(std::mt19937& rng, int k) {
  auto c = [&] { return int32_t(rng() % 960); };
  auto colour = [&] { return int32_t(rng() & 0xFFFFFF); };
  switch (k % 7) {
    case 0:
    case 1:
    case 2: {
      Packet p(msg::kDrawShape, static_cast<int16_t>(1 + k % 3), 2);
      p.Add(int16_t{0}).Add(c()).Add(c() % 720).Add(c()).Add(c() % 720).Add(colour());
      return p;
    }
    case 3:
      return Stroke(rng);
    case 4: {
      Packet p(msg::kDrawEllipse, static_cast<int16_t>(1 + k % 2), 2);
      p.Add(int16_t{0}).Add(double(c())).Add(double(c() % 720)).Add(colour());
      p.Add(double(rng() % 200)).Add((rng() % 300) / 100.0);
      return p;
    }
    case 5: {
      Packet p(msg::kDrawText, 1, 2);
      p.Add(int16_t{0}).Add(double(c())).Add(double(c() % 720)).Add(colour());
      p.Add(QStringLiteral("お絵描き %1").arg(k)).Add(QStringLiteral("VL Gothic")).Add(int32_t{14});
      return p;
    }
    default: {
      Packet p(msg::kDrawErase, draw::kEraseSquares, 2);
      p.Add(int16_t{0}).Add(int16_t{16}).Add(int32_t{41});
      for (int i = 0; i < 41; ++i) p.Add(c()).Add(c() % 720);
      return p;
    }
  }
}

void ReplayBenchmarks() {
  QTemporaryDir home;
  Instance instance(home.path(), 1);
  Router router(instance);
  Dispatcher dispatcher(instance, router);
  DrawBoard board(instance, router, dispatcher, {});
  std::mt19937 rng(5);

  constexpr int kStrokes = 20000;
  std::vector<Packet> strokes;
  for (int i = 0; i < kStrokes; ++i) strokes.push_back(Stroke(rng));
  QElapsedTimer wall;
  double cpu = CpuSeconds();
  wall.start();
  for (const Packet& p : strokes) board.HandleClient(p);
  const double stroke_wall = wall.nsecsElapsed() / 1e6 / kStrokes;
  const double stroke_cpu = (CpuSeconds() - cpu) * 1e3 / kStrokes;
  std::printf("503/4 of 41 points: %.4f ms each (CPU %.4f ms), %d messages\n", stroke_wall,
              stroke_cpu, kStrokes);

  constexpr int kMixed = 10000;
  std::vector<Packet> mixed;
  for (int i = 0; i < kMixed; ++i) mixed.push_back(Mixed(rng, i));
  QImage screen(640, 480, QImage::Format_RGB32);
  cpu = CpuSeconds();
  wall.restart();
  for (int i = 0; i < kMixed; ++i) {
    board.HandleClient(mixed[i]);
    if (i % 50 == 49) {
      QPainter painter(&screen);
      painter.setRenderHint(QPainter::SmoothPixmapTransform);
      painter.drawImage(QRectF(0, 0, 640, 480), *board.Page(0));
    }
  }
  std::printf("10,000 mixed messages replayed and shown: %.3f s (CPU %.3f s)\n",
              wall.nsecsElapsed() / 1e9, CpuSeconds() - cpu);
  if (instance.Panel(QLatin1String(kPanelSysReqMes)).startsWith(QStringLiteral("Err"))) {
    std::printf("  (an error was reported: %s)\n",
                qPrintable(instance.Panel(QLatin1String(kPanelSysReqMes))));
  }
}

struct Participant {
  Participant(const QString& handle, int port)
      : instance(home.path(), 3),
        session(instance),
        files(instance, session),
        board(instance, session.router(), session.dispatcher(),
              [this](const QString& path, std::function<void()> sent) {
                return files.SendFile(path, false, std::move(sent));
              }) {
    instance.OwnHandle = handle;
    session.SetPort(port);
  }
  QTemporaryDir home;
  Instance instance;
  Session session;
  FileTransfer files;
  DrawBoard board;
};

bool Wait(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QGuiApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

int CatchUpBenchmark(int pace) {
  const int port = 25590;
  Participant server(QStringLiteral("GM"), port);
  Participant joiner(QStringLiteral("Late"), port);
  if (pace >= 0) {
    server.files.SetPace(pace);
    server.board.SetPauseForTesting(pace);
  }
  if (!server.session.BecomeServer() ||
      !Wait([&] { return server.instance.OwnIndex == 1; }, 5000)) {
    std::printf("catch-up: the server did not start\n");
    return 1;
  }
  std::mt19937 rng(9);
  for (int page = 0; page < 5; ++page) {
    if (page > 0) server.board.NewPage();
    for (int i = 0; i < 60; ++i) server.board.HandleClient(Mixed(rng, i));
    // Own drawing too, so every copy would have it.
    server.board.DrawShape(draw::kFilledBox, QPoint(10, 10), QPoint(100 + page * 50, 80), 0xFF);
  }
  joiner.session.Connect(QStringLiteral("127.0.0.1"));
  if (!Wait(
          [&] { return joiner.instance.SessionMode == ModeClient && joiner.instance.OwnIndex > 1; },
          5000)) {
    std::printf("catch-up: the joiner did not connect\n");
    return 1;
  }
  auto same = [&] {
    if (joiner.board.HighestPage() != server.board.HighestPage()) return false;
    for (int i = 0; i <= server.board.HighestPage(); ++i) {
      if (joiner.board.Snapshot(i) != server.board.Snapshot(i)) return false;
    }
    return joiner.board.CurrentPage() == server.board.CurrentPage();
  };
  QElapsedTimer wall;
  wall.start();
  joiner.board.RequestCatchUp();
  const bool done = Wait(same, 300000);
  qint64 bytes = 0;
  for (int i = 0; i < 5; ++i) {
    bytes +=
        QFileInfo(server.instance.PathOf(QStringLiteral("file_Rcv/sysdraw%1.png").arg(i))).size();
  }
  std::printf("catch-up of 5 drawn pages (%lld bytes of PNG, pace %s): %.2f s%s\n",
              static_cast<long long>(bytes),
              pace >= 0 ? qPrintable(QStringLiteral("%1 ms").arg(pace)) : "default",
              wall.nsecsElapsed() / 1e9, done ? "" : " (NOT equal)");
  server.session.Disconnect();
  joiner.session.Disconnect();
  return done ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  int pace = -1;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--pace") == 0) pace = std::atoi(argv[i + 1]);
  }
  ReplayBenchmarks();
  return CatchUpBenchmark(pace);
}
