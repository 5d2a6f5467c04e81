#include "common/TestSupport.h"

#include <malloc.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>

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

}  // namespace quillora::test
