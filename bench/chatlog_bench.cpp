// Appends chat lines with both automatic day logs on and checks that the cost of a line does not
// grow with the log: compares the mean time of the first and the last thousand lines, then
// verifies that both files on disk hold exactly what the day log holds.
//
//   chatlog_bench [lines]      (default 20000; exit code 1 when the ratio or the files fail)

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "chat/ChatLog.h"
#include "core/Instance.h"
#include "core/Sound.h"
#include "text/Cp932.h"
#include "text/Rtf.h"

using namespace quillora;

namespace {

class SilentSound : public SoundPlayer {
 public:
  void Play(const QString&) override {}
};

// CPU time of this thread: unlike wall time, not inflated by other programs on the machine.
qint64 ThreadCpuNanos() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<qint64>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The day files against the day log; prints what differs.
bool FilesMatch(ChatLog& log) {
  const RtfDocument from_file = ReadRtf(ReadFile(log.DayLogPath(QStringLiteral(".rtf"))));
  const RtfDocument from_log = log.LogDocument();
  if (from_file.paragraphs.size() != from_log.paragraphs.size()) {
    std::printf("rtf: %lld paragraphs, log: %lld\n",
                static_cast<long long>(from_file.paragraphs.size()),
                static_cast<long long>(from_log.paragraphs.size()));
    return false;
  }
  for (qsizetype i = 0; i + 1 < from_log.paragraphs.size(); ++i) {
    if (!(from_file.paragraphs[i] == from_log.paragraphs[i])) {
      std::printf("rtf paragraph %lld differs\n", static_cast<long long>(i));
      return false;
    }
  }
  const QString text = Cp932::DecodeFile(ReadFile(log.DayLogPath(QStringLiteral(".txt"))));
  if (text != log.LogFileText()) {
    std::printf("txt differs from the log\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int lines = argc > 1 ? std::max(2000, std::atoi(argv[1])) : 20000;

  QTemporaryDir home;
  Instance instance(home.path(), 1);
  Settings& s = instance.settings;
  s.Font[kFontChat] = {.name = QStringLiteral("VL Gothic"), .size = 9};
  for (int slot : {kFontOwnSpeaker, kFontOtherSpeaker, kFontSystem}) {
    s.Font[slot] = {.name = QStringLiteral("VL Gothic"), .size = 9, .bold = true};
  }
  s.Color[kColorSystem] = 0x000000FF;
  s.AutoSaveRTF = true;
  s.AutoSaveText = true;
  QDir().mkpath(instance.LogFolder());
  SilentSound sound;
  ChatLog log(instance, sound, [] { return true; });
  log.LoadDayLog();

  const uint32_t colors[] = {0x00000000, 0x00C00000, 0x00008000,
                             0x00800080, 0x00004080, 0x00808000};
  std::vector<qint64> nanos(lines);
  std::vector<qint64> cpu_nanos(lines);
  QElapsedTimer timer;
  for (int i = 0; i < lines; ++i) {
    const int who = i % 6;
    const QString handle = QStringLiteral("プレイヤー%1").arg(who);
    const QString text =
        i % 10 == 9 ? QStringLiteral("%1行目の発言です。\r\n続きの行 {括弧} と \\ 記号").arg(i)
                    : QStringLiteral("%1行目の発言です。ダイスを振ります 2D6").arg(i);
    const qint64 cpu_start = ThreadCpuNanos();
    timer.start();
    if (i % 50 == 49) {
      log.SystemLine(QStringLiteral("%1が接続しました").arg(handle));
    } else {
      log.AppendChatLine(handle + QStringLiteral("："), who == 0 ? kSpeakerOwn : kSpeakerOther,
                         text, {}, colors[who]);
    }
    nanos[i] = timer.nsecsElapsed();
    cpu_nanos[i] = ThreadCpuNanos() - cpu_start;
  }

  const auto mean_us = [&](const std::vector<qint64>& values, int from, int to) {
    qint64 sum = 0;
    for (int i = from; i < to; ++i) sum += values[i];
    return sum / 1000.0 / (to - from);
  };
  const double first = mean_us(nanos, 0, 1000);
  const double last = mean_us(nanos, lines - 1000, lines);
  const double cpu_first = mean_us(cpu_nanos, 0, 1000);
  const double cpu_last = mean_us(cpu_nanos, lines - 1000, lines);
  const double ratio = last / first;
  const bool files_ok = FilesMatch(log);
  std::printf("chat log: %d lines, both day logs on\n", lines);
  const QString last_label = QStringLiteral("lines %1-%2").arg(lines - 999).arg(lines);
  std::printf("  mean per line, %-18s %8.1f us\n", "lines 1-1000", first);
  std::printf("  mean per line, %-18s %8.1f us\n", last_label.toLatin1().constData(), last);
  std::printf("  ratio last/first:                 %8.2f (must be < 1.5)\n", ratio);
  std::printf("  thread CPU per line: %.1f us and %.1f us, ratio %.2f\n", cpu_first, cpu_last,
              cpu_last / cpu_first);
  std::printf("  day files: rtf %lld bytes, txt %lld bytes, %s\n",
              static_cast<long long>(QFileInfo(log.DayLogPath(QStringLiteral(".rtf"))).size()),
              static_cast<long long>(QFileInfo(log.DayLogPath(QStringLiteral(".txt"))).size()),
              files_ok ? "match the day log" : "DO NOT MATCH the day log");
  return ratio < 1.5 && files_ok ? 0 : 1;
}
