// What keeping the table file costs the host: each operation applied to its model and then
// written, as the once-a-second write does it, in one transaction with its commit.
//   tablefile_bench [repetitions]
// 1. A 255-cell hex colour stroke on a 255 x 255 page.
// 2. A freehand drawing stroke of 200 points across the page (the page is encoded as PNG).
// 3. One cell of a 30 x 12 shared table edited.
// Printed: the median and the worst time of the operation alone and of the write (describe,
// statements, commit with its sync).
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
  std::vector<double> write_ms;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Worst(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

void Print(const char* what, const Figures& f) {
  std::printf(
      "%-34s op median %7.3f ms  worst %7.3f | write median %7.3f ms  worst %7.3f | "
      "total median %7.3f ms\n",
      what, Median(f.op_ms), Worst(f.op_ms), Median(f.write_ms), Worst(f.write_ms),
      Median(f.op_ms) + Median(f.write_ms));
}

template <typename Op>
void Measure(AppCore& core, Figures& f, Op op) {
  QElapsedTimer clock;
  clock.start();
  op();
  f.op_ms.push_back(clock.nsecsElapsed() / 1e6);
  clock.restart();
  if (!core.table_keeper().Save()) {
    std::fprintf(stderr, "write failed\n");
    std::exit(1);
  }
  f.write_ms.push_back(clock.nsecsElapsed() / 1e6);
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
  if (!core.table_keeper().Open(folder.filePath(QStringLiteral("bench.qtable")))) return 1;

  // 1. Hex strokes on the largest page.
  HexMap& map = core.hex_map();
  if (map.CreatePage(kHexSquare, 1, kPieceNoDirection, 255, 255) != 1) return 1;
  core.table_keeper().Save();
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
  core.table_keeper().Save();
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
