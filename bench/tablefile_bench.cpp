// What keeping the table file costs the host: each operation applied to its model and then
// written, as the once-a-second write does it. The window's thread only collects what changed
// and hands it over; the file's thread runs the statements and the commit.
//   tablefile_bench [repetitions]
// 1. A 255-cell hex colour stroke on a 255 x 255 page.
// 2. A freehand drawing stroke of 200 points across the page (the page goes over as a picture;
//    the file's thread encodes it as PNG).
// 3. One cell of a 30 x 12 shared table edited.
// Printed: the median and the worst time of the operation, of the collection on the window's
// thread, and of the statements with the commit on the file's thread.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/AppCore.h"
#include "core/Sound.h"

using namespace quillora;

namespace {

class Silent : public SoundPlayer {
 public:
  void Play(const QString&) override {}
};

struct Figures {
  std::vector<double> op_ms;
  std::vector<double> collect_ms;
  std::vector<double> commit_ms;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Worst(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

void Print(const char* what, const Figures& f) {
  std::printf(
      "%-32s op %6.3f / %6.3f ms | collect %6.3f / %6.3f ms | window total %6.3f ms | "
      "file thread %6.3f / %6.3f ms (median / worst)\n",
      what, Median(f.op_ms), Worst(f.op_ms), Median(f.collect_ms), Worst(f.collect_ms),
      Median(f.op_ms) + Median(f.collect_ms), Median(f.commit_ms), Worst(f.commit_ms));
}

// Waits (outside any handler: this is the benchmark's own loop) until the file's thread has
// written everything asked so far.
void Drain(TableKeeper& keeper, int writes) {
  while (keeper.WritesDone() < writes) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
}

template <typename Op>
void Measure(AppCore& core, Figures& f, Op op) {
  TableKeeper& keeper = core.table_keeper();
  const int before = keeper.WritesDone();
  QElapsedTimer clock;
  clock.start();
  op();
  f.op_ms.push_back(clock.nsecsElapsed() / 1e6);
  clock.restart();
  if (!keeper.Save()) {
    std::fprintf(stderr, "no table open\n");
    std::exit(1);
  }
  f.collect_ms.push_back(clock.nsecsElapsed() / 1e6);
  Drain(keeper, before + 1);
  f.commit_ms.push_back(keeper.LastCommitNs() / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int reps = argc > 1 ? std::max(3, std::atoi(argv[1])) : 50;
  QTemporaryDir folder;
  Silent sound;
  AppCore core(folder.path(), 1, sound);
  core.Startup({});
  TableKeeper& keeper = core.table_keeper();
  bool opened = false;
  QObject::connect(&keeper, &TableKeeper::opened, [&] { opened = true; });
  keeper.Open(folder.filePath(QStringLiteral("bench.qtable")));
  while (!opened) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

  // 1. Hex strokes on the largest page.
  HexMap& map = core.hex_map();
  if (map.CreatePage(kHexSquare, 1, kPieceNoDirection, 255, 255) != 1) return 1;
  keeper.Save();
  Drain(keeper, keeper.WritesDone() + 1);
  Figures hex;
  for (int i = 0; i < reps; ++i) {
    const uint32_t colour = 0x010203u * static_cast<uint32_t>(i + 1) & 0xFFFFFF;
    Measure(core, hex, [&] {
      map.BeginStroke();
      for (int c = 1; c <= 255; ++c) map.PaintOver(QPoint(c, 1 + (i + c / 32) % 255), colour);
      map.EndStroke(colour);
    });
  }

  // 2. Drawing strokes.
  DrawBoard& board = core.drawing();
  Figures draw;
  for (int i = 0; i < reps; ++i) {
    Measure(core, draw, [&] {
      board.BeginStroke(QPoint(10, 10 + i), 0x0000FF + static_cast<uint32_t>(i));
      for (int k = 1; k <= 200; ++k) board.ExtendStroke(QPoint(10 + 4 * k, 10 + i + (k % 40)));
      board.EndStroke();
    });
  }

  // 3. Shared table edits.
  SharedTable& table = core.table();
  for (int c = 0; c < 12; ++c) table.AddColumn();
  for (int r = 0; r < 30; ++r) table.AddRow();
  keeper.Save();
  Drain(keeper, keeper.WritesDone() + 1);
  Figures cells;
  for (int i = 0; i < reps; ++i) {
    Measure(core, cells, [&] {
      table.CommitCell(1 + i % 30, 1 + i % 12, QStringLiteral("HP %1 / MP %2").arg(i).arg(2 * i));
    });
  }

  std::printf("tablefile_bench: %d repetitions each\n", reps);
  Print("hex stroke, 255 cells (255x255)", hex);
  Print("drawing stroke, 200 points", draw);
  Print("table edit, 1 cell of 30x12", cells);
  return 0;
}
