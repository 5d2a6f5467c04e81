// Evaluations per second of the dice language on one core.
//   dice_bench [seconds-per-case]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/Random.h"
#include "dice/DiceLanguage.h"
#include "dice/DiceOptions.h"

using namespace quillora;

namespace {

// 100 nodes: 25 terms of "1D6" (three nodes each) joined by 24 "+" and one "+1".
QString HundredNodeExpression() {
  QString text = QStringLiteral("1D6");
  for (int i = 1; i < 25; ++i) text += QStringLiteral("+1D6");
  return text + QStringLiteral("+1");
}

// CPU time of this process: the machine is shared, so wall time would measure the neighbours.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void Measure(const char* label, const QString& expression, const DiceOptions& options,
             double seconds) {
  Random rng(42);
  QElapsedTimer wall;
  wall.start();
  const double cpu_start = CpuSeconds();
  int64_t runs = 0;
  int64_t chars = 0;
  while (CpuSeconds() - cpu_start < seconds) {
    for (int i = 0; i < 1000; ++i) chars += EvaluateDiceText(expression, options, rng).size();
    runs += 1000;
  }
  const double cpu = CpuSeconds() - cpu_start;
  const double elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
  std::printf("%-24s %10.0f evaluations/s of CPU time (%.2f us each; wall %.0f/s; %lld chars)\n",
              label, static_cast<double>(runs) / cpu, cpu / static_cast<double>(runs) * 1e6,
              static_cast<double>(runs) / elapsed, static_cast<long long>(chars));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
  DiceOptions options;
  options.RegisterDiceOptionSet(QStringLiteral("A"), 2 | 2048, QString());
  Measure("(1D10+2)*2D6", QStringLiteral("(1D10+2)*2D6"), options, seconds);
  Measure("xD6+3 : x=5", QStringLiteral("xD6+3 : x=5"), options, seconds);
  Measure("100-node expression", HundredNodeExpression(), options, seconds);
  Measure("3DA6 (all-dice reroll)", QStringLiteral("3DA6"), options, seconds);
  return 0;
}
