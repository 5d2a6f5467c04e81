#include "common/TestSupport.h"

#include <malloc.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpServer>

#include "text/Cp932.h"

namespace quillora::test {

TempHome::TempHome() : dir_(std::make_unique<QTemporaryDir>()) { path_ = dir_->path(); }

QString TempHome::File(const QString& relative) const {
  return path_ + QLatin1Char('/') + relative;
}

void TempHome::Write(const QString& relative, const QByteArray& bytes) const {
  const QString full = File(relative);
  QDir().mkpath(QFileInfo(full).absolutePath());
  QFile file(full);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

QByteArray TempHome::Read(const QString& relative) const {
  QFile file(File(relative));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

int FreePort() {
  // Below the system's range for outgoing connections (32768 and up on Linux): a port from that
  // range may be taken as the local end of some connection before the test listens on it.
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int port = 20000 + static_cast<int>(QRandomGenerator::global()->bounded(12000));
    QTcpServer probe;
    if (probe.listen(QHostAddress::LocalHost, static_cast<quint16>(port))) return port;
  }
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
  return probe.serverPort();
}

extern "C" __attribute__((weak)) size_t __sanitizer_get_current_allocated_bytes();

size_t LiveHeapBytes() {
  if (__sanitizer_get_current_allocated_bytes) return __sanitizer_get_current_allocated_bytes();
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

void UseSmallCardDecks(const TempHome& home, Settings& settings) {
  auto lines = [](const QString& prefix, int n, const QStringList& extra = {}) {
    QStringList l = extra;
    for (int i = 1; i <= n; ++i) l << prefix + QString::number(i);
    return Cp932::Encode(l.join(QStringLiteral("\r\n")));
  };
  settings.AccessCard4Nova2nd = QStringLiteral("data\\access.txt");
  settings.Tarot4Nova2nd = QStringLiteral("data\\tarot.txt");
  settings.Trump4Nova2nd = QStringLiteral("data\\n_trump.txt");
  settings.Tarot4NovaRev = QStringLiteral("data\\tarot.txt");
  settings.Trump4NovaRev = QStringLiteral("data\\n_trump.txt");
  settings.ShuffleCount = 200;
  home.Write("data/access.txt", lines(QStringLiteral("アクセス"), 3));
  home.Write("data/tarot.txt", lines(QStringLiteral("タロット"), 5));
  home.Write("data/n_trump.txt", lines(QStringLiteral("トランプ"), 52,
                                       {QStringLiteral("#SpecialCard1=ジョーカー"),
                                        QStringLiteral("#SpecialCard2=ジョーカー黒")}));
}

}  // namespace quillora::test
