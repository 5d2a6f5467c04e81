// Replays every corpus file through the protocol harness, without libFuzzer, so the normal
// test run always covers the corpus. "--write-corpus DIR" regenerates the checked-in seeds.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "ProtocolHarness.h"
#include "net/PacketCodec.h"

namespace {

using quillora::Packet;
using quillora::fuzz::Arrival;

QByteArray Encode(int code, int sub, int sender, int dest,
                  std::initializer_list<quillora::ItemValue> items, const QByteArray& block = {}) {
  Packet p(static_cast<int16_t>(code), static_cast<int16_t>(sub), static_cast<int16_t>(sender),
           static_cast<int16_t>(dest));
  for (const auto& item : items) p.Add(item);
  if (!block.isEmpty()) p.SetBin(block);
  return quillora::EncodePacket(p);
}

QMap<QString, QByteArray> Seeds() {
  QMap<QString, QByteArray> seeds;
  const QString hello = QStringLiteral("こんにちは");
  seeds["client_chat_public"] = Arrival(0, Encode(101, 1, 2, 0, {hello}));
  seeds["client_chat_labelled"] =
      Arrival(0, Encode(101, 6, 2, 0,
                        {QStringLiteral("2D6 → 7"), QStringLiteral("(ダイス機能)"),
                         QStringLiteral("ゴブリン")}));
  seeds["client_session"] =
      Arrival(0, Encode(2, 0, 1, 3, {int16_t{3}, int16_t{2}, int16_t{10}, int16_t{1}}) +
                     Encode(1, 0, 1, 0, {int16_t{2}, QStringLiteral("花子"), int32_t{0x0000FF}}) +
                     Encode(4, 0, 1, 0, {int16_t{2}, QStringLiteral("花"), int32_t{255}}) +
                     Encode(121, 1, 2, 0, {int16_t{2}, QStringLiteral("花")}) +
                     Encode(3, 0, 1, 0, {int16_t{2}}));
  seeds["client_features"] =
      Arrival(0, Encode(442, 0, 1, 0, {int16_t{1}, int16_t{12}, true, 1.5f}) +
                     Encode(611, 3, 2, 0, {int32_t{-40}, int32_t{70000}, 0.25},
                            QByteArray("\x00\xFF\x10\x20", 4)));
  seeds["client_draw_square"] =
      Arrival(0, Encode(515, 2, 2, 0, {int32_t{0}, int32_t{10}, int32_t{10}, int32_t{6}}));
  seeds["server_chat_whisper"] = Arrival(2, Encode(301, 2, 2, 3, {hello}));
  seeds["server_chat_all_subcodes"] =
      Arrival(2, Encode(301, 1, 2, 0, {hello}) + Encode(301, 4, 2, 0, {hello, QString()}) +
                     Encode(301, 7, 2, 0, {hello, QString(), QStringLiteral("x")}) +
                     Encode(301, 9, 2, 0, {hello}));
  seeds["server_join"] =
      Arrival(3, Encode(204, 0, 0, 0, {})) +
      Arrival(3, Encode(201, 0, 0, 0, {QStringLiteral("太郎"), int32_t{0xFF00}}));
  seeds["server_handle_change"] =
      Arrival(4, Encode(203, 0, 4, 0, {QStringLiteral("新しい名前"), int32_t{0x00FF00}}));
  seeds["server_relay_rows"] =
      Arrival(2, Encode(503, 0, 2, 0, {int16_t{1}, int16_t{2}, int16_t{3}}) +
                     Encode(603, 0, 2, 0, {int16_t{1}}) + Encode(703, 0, 2, 0, {int32_t{5}}) +
                     Encode(803, 0, 2, 0, {QStringLiteral("cell")}) +
                     Encode(448, 0, 2, 0, {int16_t{4}}) + Encode(321, 2, 2, 0, {int16_t{2}}));
  seeds["server_file_piece"] = Arrival(
      2, Encode(311, 1, 2, 0, {QStringLiteral("map.mh0"), int32_t{2048}}, QByteArray(200, '\x5A')));
  seeds["server_requests"] = Arrival(1, Encode(426, 0, 1, 0, {int16_t{1}, int16_t{3}}) +
                                            Encode(510, 0, 2, 0, {}) + Encode(809, 0, 3, 0, {}));
  seeds["server_leave"] =
      Arrival(2, Encode(202, 0, 2, 0, {}) + Encode(301, 1, 2, 0, {QStringLiteral("after")}));
  const QByteArray split = Encode(301, 1, 3, 0, {QStringLiteral("split across arrivals")});
  seeds["server_split_packet"] =
      Arrival(3, split.left(9)) + Arrival(3, split.mid(9, 20)) + Arrival(3, split.mid(29));
  QByteArray bad = Encode(301, 1, 2, 0, {hello});
  bad[1] = 5;
  seeds["server_bad_marker_then_good"] =
      Arrival(2, bad) + Arrival(2, Encode(301, 1, 2, 0, {hello}), true);
  return seeds;
}

int WriteCorpus(const QString& dir) {
  QDir().mkpath(dir);
  const auto seeds = Seeds();
  for (auto it = seeds.begin(); it != seeds.end(); ++it) {
    QFile file(dir + QLatin1Char('/') + it.key());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(it.value()) < 0) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
      return 1;
    }
  }
  std::printf("%lld seeds written to %s\n", static_cast<long long>(seeds.size()), qPrintable(dir));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && QByteArray(argv[1]) == "--write-corpus")
    return WriteCorpus(QString::fromLocal8Bit(argv[2]));
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE|DIR... | --write-corpus DIR\n", argv[0]);
    return 2;
  }
  QList<QByteArray> inputs;
  for (int i = 1; i < argc; ++i) {
    const QString path = QString::fromLocal8Bit(argv[i]);
    QStringList files;
    if (QFileInfo(path).isDir()) {
      for (const QString& name : QDir(path).entryList(QDir::Files, QDir::Name)) {
        files << path + QLatin1Char('/') + name;
      }
    } else {
      files << path;
    }
    for (const QString& name : files) {
      QFile file(name);
      if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
        return 1;
      }
      inputs << file.readAll();
    }
  }
  if (inputs.isEmpty()) {
    std::fprintf(stderr, "no corpus files found\n");
    return 1;
  }
  // First as a fuzz run goes: one program for every input, made before anything else. Its
  // table file opens and takes what was drawn; then one more page is drawn, which is still to
  // be written when that program is taken down at exit.
  const auto reused = [](const QByteArray& data) {
    quillora::fuzz::RunProtocolInputReused(reinterpret_cast<const uint8_t*>(data.constData()),
                                           static_cast<size_t>(data.size()));
  };
  for (const QByteArray& data : inputs) reused(data);
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 1500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  reused(Seeds().value(QStringLiteral("client_draw_square")));
  // Then each input in a program of its own, as a crash found by the fuzzer is replayed.
  for (const QByteArray& data : inputs) {
    quillora::fuzz::RunProtocolInput(reinterpret_cast<const uint8_t*>(data.constData()),
                                     static_cast<size_t>(data.size()));
  }
  std::printf("replayed %lld inputs\n", static_cast<long long>(inputs.size()));
  return 0;
}
