#include "net/FileTransfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "core/Instance.h"
#include "net/MessageCodes.h"
#include "net/Session.h"

namespace quillora {

namespace {

const QString kTag = QStringLiteral("DP_Clnt");
// How soon to look again while the previous piece is still on its way to the socket.
constexpr int kRecheckMs = 4;

QString Progress(const QString& name, int k, int n, const char* what) {
  return QStringLiteral("%1(%2/%3)").arg(name).arg(k).arg(n) + QString::fromUtf8(what);
}

}  // namespace

FileTransfer::FileTransfer(Instance& instance, Session& session, QObject* parent)
    : QObject(parent), instance_(instance), session_(session) {
  pacer_.setSingleShot(true);
  pacer_.setTimerType(Qt::PreciseTimer);
  connect(&pacer_, &QTimer::timeout, this, &FileTransfer::SendNext);
  session_.dispatcher().RegisterClientHandler(msg::kFilePiece, msg::kFilePiece,
                                              [this](const Packet& p) { OnPiece(p); });
}

bool FileTransfer::SendFile(const QString& path, bool open_after, std::function<void()> sent) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = file.readAll();
  if (data.size() > 0x7FFFFFFF - kPieceSize) return false;
  const QString name = QFileInfo(path).fileName();
  const auto size = static_cast<int32_t>(data.size());
  // An empty file travels as one empty piece, so the others get an empty file.
  const int32_t count = size == 0 ? 1 : (size - 1) / kPieceSize + 1;
  const int transfer = ++transfers_;
  for (int32_t k = 1; k <= count; ++k) {
    const int32_t offset = (k - 1) * kPieceSize;
    queue_.push_back(Piece{name, count, k, size, offset + 1,
                           static_cast<int16_t>(open_after ? 1 : 2), data.mid(offset, kPieceSize),
                           k == count ? std::move(sent) : std::function<void()>{}, transfer});
  }
  if (!pacer_.isActive()) SendNext();
  return true;
}

qint64 FileTransfer::DelayForNext() const {
  if (pace_ms_ >= 0) return pace_ms_;
  if (queue_.empty() || queue_.front().transfer != current_) return 0;
  // The ceiling holds for the transfer as a whole, so timer slack does not add up.
  const int rate = std::max(1, instance_.settings.FileSendRate);
  const qint64 due_ms = current_bytes_ * 1000 / (qint64{rate} * 1024);
  return std::max<qint64>(0, due_ms - current_clock_.elapsed());
}

void FileTransfer::CancelSending() {
  if (queue_.empty()) return;
  const int transfer = queue_.front().transfer;
  const QString name = queue_.front().name;
  while (!queue_.empty() && queue_.front().transfer == transfer) queue_.pop_front();
  instance_.ShowStatus(name + QStringLiteral("の送信を中止しました"));
  if (queue_.empty()) {
    pacer_.stop();
    emit sendingEnded();
  }
}

void FileTransfer::SendNext() {
  if (queue_.empty()) {
    instance_.ClearStatus();
    emit sendingEnded();
    return;
  }
  // The previous piece first has to leave for the server; chat queued behind it goes with it.
  if (session_.ClientBacklog() > 0) {
    pacer_.start(kRecheckMs);
    return;
  }
  const Piece piece = queue_.front();
  queue_.pop_front();
  if (piece.transfer != current_) {
    current_ = piece.transfer;
    current_clock_.start();
    current_bytes_ = 0;
  }
  current_bytes_ += kPieceSize;
  instance_.ShowStatus(Progress(piece.name, piece.number, piece.count, "を送信中"));
  Packet p(msg::kSendFilePiece, piece.sub_code, instance_.OwnIndex, 0);
  p.Add(piece.name).Add(piece.count).Add(piece.number).Add(piece.size).Add(piece.position);
  if (!piece.bytes.isEmpty()) p.SetBin(piece.bytes);
  session_.router().Send(RouteServer, p, QStringLiteral("SendFile"));
  emit progress(true, piece.name, piece.number, piece.count);
  if (piece.sent) piece.sent();
  // After the last piece one more step clears the progress text, a pause later as before.
  pacer_.start(static_cast<int>(DelayForNext()));
}

FileTransfer::Piece FileTransfer::FromPacket(const Packet& p) {
  Piece piece{p.Text(1), p.Int(2), p.Int(3), p.Int(4), p.Int(5), p.SubCode, p.BinData, {}, 0};
  if (piece.count < 1 || piece.number < 1 || piece.number > piece.count || piece.size < 0 ||
      piece.position < 1 || piece.size > kMaxReceived ||
      static_cast<qint64>(piece.position) - 1 + piece.bytes.size() > piece.size) {
    throw ProtocolError{kErrInvalidCall,
                        QStringLiteral("プロシージャの呼び出し、または引数が不正です。")};
  }
  return piece;
}

QString FileTransfer::ReceiveFolder() const { return instance_.PathOf(QStringLiteral("file_Rcv")); }

void FileTransfer::OnPiece(const Packet& p) {
  const int policy = instance_.settings.ExecuteLevel;
  if (policy == kRefuse) return;
  Piece piece = FromPacket(p);
  piece.name = SafeFileName(piece.name);
  instance_.ShowStatus(Progress(piece.name, piece.number, piece.count, "を受信中"));

  const bool ask_first =
      policy == kAskReceiveOpen || policy == kAskReceiveOnly || policy == kAskReceiveAskOpen;
  if (!ask_first) {
    Store(piece);
    return;
  }
  // Asking before receiving: the first piece asks, later pieces wait for the answer.
  const QString key = piece.name;
  if (piece.number == 1) {
    refused_.remove(key);
    const bool already_asking = pending_.contains(key);
    pending_[key] = {piece};
    if (already_asking || !confirm) {
      if (!confirm) refused_[key] = true;
      return;
    }
    confirm(QStringLiteral("受信確認"),
            QStringLiteral("ファイル") + QStringLiteral("\n") + key + QStringLiteral("\n") +
                QStringLiteral("(%1バイト)を受信しますか？").arg(piece.size),
            [this, key](bool yes) {
              std::vector<Piece> held = pending_.take(key);
              if (!yes) {
                refused_[key] = true;
                instance_.ClearStatus();
                return;
              }
              for (const Piece& h : held) Store(h);
            });
    return;
  }
  if (refused_.value(key)) return;
  if (pending_.contains(key)) {
    pending_[key].push_back(piece);
    return;
  }
  Store(piece);
}

void FileTransfer::Store(const Piece& piece) {
  const QString folder = ReceiveFolder();
  QDir().mkpath(folder);
  const QString path = folder + QLatin1Char('/') + piece.name;
  if (piece.number == 1 && QFileInfo::exists(path)) QFile::remove(path);
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite) || !file.seek(piece.position - 1) ||
      file.write(piece.bytes) != piece.bytes.size()) {
    instance_.ReportError(kTag, 75, QStringLiteral("パス名が無効です。"));
    return;
  }
  // Received files never run by themselves.
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                      QFileDevice::ReadOther);
  file.close();
  emit progress(false, piece.name, piece.number, piece.count);
  if (piece.number == piece.count) Finish(piece);
}

void FileTransfer::Finish(const Piece& piece) {
  const int policy = instance_.settings.ExecuteLevel;
  if (policy == kReceiveOnly || policy == kAskReceiveOnly) return;
  instance_.ClearStatus();
  if (piece.sub_code != 1 || !open_file) return;
  const QString path = ReceiveFolder() + QLatin1Char('/') + piece.name;
  QFile file(path);
  QByteArray head;
  if (file.open(QIODevice::ReadOnly)) head = file.read(4);
  if (RunsCode(piece.name, head)) {
    instance_.ReportStatus(
        piece.name + QStringLiteral("は実行ファイルのため開きません（file_Rcvに保存しました）"));
    return;
  }
  if (policy == kReceiveAskOpen || policy == kAskReceiveAskOpen) {
    if (!confirm) return;
    confirm(
        QStringLiteral("実行確認"),
        QStringLiteral("受信したファイル\n") + piece.name + QStringLiteral("\nを実行しますか？"),
        [this, path](bool yes) {
          if (yes && open_file) open_file(path);
        });
    return;
  }
  open_file(path);
}

QString FileTransfer::SafeFileName(const QString& name) {
  QString base = name;
  const qsizetype cut =
      std::max(base.lastIndexOf(QLatin1Char('/')), base.lastIndexOf(QLatin1Char('\\')));
  base = base.mid(cut + 1);
  QString out;
  for (QChar c : base) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F || QStringLiteral(":*?\"<>|").contains(c)) {
      out += QLatin1Char('_');
    } else {
      out += c;
    }
  }
  out = out.trimmed();
  while (out.endsWith(QLatin1Char('.')) || out.endsWith(QLatin1Char(' '))) out.chop(1);
  if (out.startsWith(QLatin1Char('.'))) out.replace(0, 1, QLatin1Char('_'));
  static const QRegularExpression device(
      QStringLiteral("^(CON|PRN|AUX|NUL|CLOCK\\$|COM[0-9]|LPT[0-9])(\\..*)?$"),
      QRegularExpression::CaseInsensitiveOption);
  if (device.match(out).hasMatch()) out.prepend(QLatin1Char('_'));
  if (out.isEmpty()) out = QStringLiteral("received.bin");
  return out.left(200);
}

bool FileTransfer::RunsCode(const QString& file_name, const QByteArray& head) {
  static const QStringList kRunnable = {
      "exe",      "com",  "bat",     "cmd",        "scr",
      "pif",      "msi",  "msp",     "mst",        "vbs",
      "vbe",      "js",   "jse",     "wsf",        "wsh",
      "ps1",      "psm1", "lnk",     "url",        "reg",
      "hta",      "cpl",  "inf",     "jar",        "sh",
      "bash",     "zsh",  "csh",     "ksh",        "fish",
      "command",  "app",  "desktop", "run",        "bin",
      "appimage", "deb",  "rpm",     "py",         "pyw",
      "pl",       "rb",   "php",     "apk",        "dmg",
      "pkg",      "mpkg", "scpt",    "workflow",   "action",
      "gadget",   "msc",  "ocx",     "dll",        "sys",
      "drv",      "elf",  "out",     "xpi",        "crx",
      "vb",       "ws",   "chm",     "library-ms", "settingcontent-ms",
      "iso",      "img"};
  const QString suffix = QFileInfo(file_name).suffix().toLower();
  if (kRunnable.contains(suffix)) return true;
  return head.startsWith(
             "\x7F"
             "ELF") ||
         head.startsWith("#!") || head.startsWith("MZ");
}

}  // namespace quillora
