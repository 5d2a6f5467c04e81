#include "net/FileTransfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QStorageInfo>
#include <algorithm>

#include "core/Instance.h"
#include "net/MessageCodes.h"
#include "net/Session.h"

namespace quillora {

namespace {

const QString kTag = QStringLiteral("DP_Clnt");
// How soon to look again while the connection holds a window of pieces, and that window:
// enough to keep a fast line busy between looks.
constexpr int kRecheckMs = 2;
constexpr qint64 kWindow = 128 * 1024;

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
  // Quotas and answers hold for one session.
  connect(&session_, &Session::connectedChanged, this, [this](bool connected) {
    if (!connected) ResetSession();
  });
}

bool FileTransfer::SendFile(const QString& path, bool open_after, std::function<void()> sent) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = file.readAll();
  if (data.size() > 0x7FFFFFFF - kPieceSize) return false;
  const QString name = QFileInfo(path).fileName();
  const auto size = static_cast<int32_t>(data.size());
  // An empty file travels as one empty piece, so the others get an empty file.
  const int32_t count = PieceCount(size);
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

int FileTransfer::PieceCount(qint64 size) {
  // An empty file travels as one empty piece, so the others get an empty file.
  return size == 0 ? 1 : static_cast<int>((size - 1) / kPieceSize + 1);
}

Packet FileTransfer::PiecePacket(const QString& name, const QByteArray& data, int number,
                                 int16_t sub_code, int16_t sender) {
  const qsizetype offset = qsizetype{number - 1} * kPieceSize;
  Packet p(msg::kFilePiece, sub_code, sender, 0);
  p.Add(name)
      .Add(int32_t{PieceCount(data.size())})
      .Add(int32_t{number})
      .Add(static_cast<int32_t>(data.size()))
      .Add(static_cast<int32_t>(offset + 1));
  const QByteArray bytes = data.mid(offset, kPieceSize);
  if (!bytes.isEmpty()) p.SetBin(bytes);
  return p;
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
  // Pieces wait behind the chat in the connection's own queue; only a window of them is handed
  // over at a time, so that cancelling stops a transfer soon and memory stays small.
  if (session_.ClientBacklog() >= kWindow) {
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

QString FileTransfer::HoldingFolder() const {
  return ReceiveFolder() + QStringLiteral("/.waiting");
}

void FileTransfer::ResetSession() {
  // Files still waiting for an answer are given up; their pieces go with them.
  for (const Incoming& in : incoming_) {
    if (in.waiting) QFile::remove(in.path);
  }
  incoming_.clear();
  received_.clear();
  over_quota_.clear();
  questions_.clear();
  for (auto& answer : always_) answer.reset();
  ++generation_;  // an answer to a question still on screen changes nothing
}

QString FileTransfer::DistinctName(const QString& base, const QString& extension) const {
  const QString folder = ReceiveFolder();
  auto taken = [&](const QString& name) {
    if (QFileInfo::exists(folder + QLatin1Char('/') + name)) return true;
    for (const Incoming& in : incoming_) {
      if (in.name == name) return true;
    }
    return false;
  };
  QString name = base + extension;
  for (int n = 2; taken(name); ++n)
    name = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(extension);
  return name;
}

int FileTransfer::ReceiveQuotaMB() const { return std::max(0, instance_.settings.ReceiveQuotaMB); }

bool FileTransfer::Admit(int sender, const QString& name, qint64 size) {
  const int quota_mb = ReceiveQuotaMB();
  const qint64 quota = qint64{quota_mb} << 20;
  const qint64 after = received_.value(sender) + size;
  QString why;
  if (after > quota) {
    why = QStringLiteral("受信量の上限（%1MB）").arg(quota_mb);
  } else {
    QDir().mkpath(ReceiveFolder());  // a folder not there yet would tell nothing of its disk
    QStorageInfo disk(ReceiveFolder());
    if (disk.isValid() && disk.bytesAvailable() >= 0 &&
        disk.bytesAvailable() - size < disk_floor_) {
      why = QStringLiteral("ディスクの空き容量");
    }
  }
  if (why.isEmpty()) {
    received_[sender] = after;
    return true;
  }
  // One line per sender, not one per file.
  if (!over_quota_.contains(sender)) {
    over_quota_.insert(sender);
    instance_.ReportStatus(QStringLiteral("参加者%1からのファイル%2を受信しません（%3を超えます）")
                               .arg(sender)
                               .arg(name, why));
  }
  return false;
}

void FileTransfer::OnPiece(const Packet& p) {
  const int policy = instance_.settings.ExecuteLevel;
  if (policy == kRefuse) return;
  Piece piece = FromPacket(p);
  const int sender = p.SenderIndex;
  const QString key = QString::number(sender) + QLatin1Char('/') + piece.name;

  if (piece.number == 1) {
    // A new file (or the same one anew): earlier pieces of it are dropped.
    if (auto old = incoming_.find(key); old != incoming_.end()) {
      if (old->waiting) QFile::remove(old->path);
      incoming_.erase(old);
    }
    Incoming in;
    const QString clean = CleanFileName(piece.name);
    if (clean.isEmpty()) {
      in.name = DistinctName(QStringLiteral("received"), QStringLiteral(".bin"));
    } else {
      in.name = clean;
    }
    in.sub_code = piece.sub_code;
    in.count = piece.count;
    if (!Admit(sender, in.name, piece.size)) {
      in.refused = true;
      if (piece.count > 1) incoming_.insert(key, in);  // so that its other pieces are dropped
      return;
    }
    const bool ask_first =
        policy == kAskReceiveOpen || policy == kAskReceiveOnly || policy == kAskReceiveAskOpen;
    const QString folder = ReceiveFolder();
    QDir().mkpath(folder);
    in.path = folder + QLatin1Char('/') + in.name;
    if (ask_first) {
      const std::optional<bool> always = always_[kAskReceive];
      if (always.has_value() && !*always) {
        in.refused = true;
      } else if (!always.has_value()) {
        // Held on disk, not in memory, until the answer comes.
        QDir().mkpath(HoldingFolder());
        in.waiting = true;
        in.path = HoldingFolder() + QStringLiteral("/%1.part").arg(++holding_count_);
        QFile::remove(in.path);
      }
    }
    if (!in.waiting && !in.refused && QFileInfo::exists(in.path)) QFile::remove(in.path);
    incoming_.insert(key, in);
    if (in.waiting) {
      // The answer may come at once: the file is known by then.
      Ask(kAskReceive, QStringLiteral("受信確認"),
          QStringLiteral("ファイル") + QStringLiteral("\n") + in.name + QStringLiteral("\n") +
              QStringLiteral("(%1バイト)を受信しますか？").arg(piece.size),
          key);
    }
  }

  auto it = incoming_.find(key);
  if (it == incoming_.end()) return;
  if (it->refused) {
    if (piece.number == piece.count) incoming_.erase(it);  // nothing more of it will come
    return;
  }
  instance_.ShowStatus(Progress(it->name, piece.number, piece.count, "を受信中"));
  if (!Write(it->path, piece)) {
    it->refused = true;
    return;
  }
  if (!it->waiting) emit progress(false, it->name, piece.number, piece.count);
  if (piece.number != piece.count) return;
  it->complete = true;
  if (!it->waiting) Finish(key);
}

bool FileTransfer::Write(const QString& path, const Piece& piece) {
  QFile file(path);
  if (!file.open(QIODevice::ReadWrite) || !file.seek(piece.position - 1) ||
      file.write(piece.bytes) != piece.bytes.size()) {
    instance_.ReportError(kTag, 75, QStringLiteral("パス名が無効です。"));
    return false;
  }
  // Received files never run by themselves.
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                      QFileDevice::ReadOther);
  return true;
}

void FileTransfer::Answered(const QString& key, bool yes) {
  auto it = incoming_.find(key);
  if (it == incoming_.end() || !it->waiting) return;
  it->waiting = false;
  if (!yes) {
    QFile::remove(it->path);
    it->refused = true;
    if (it->complete) incoming_.erase(it);
    instance_.ClearStatus();
    return;
  }
  const QString held = it->path;
  it->path = ReceiveFolder() + QLatin1Char('/') + it->name;
  QFile::remove(it->path);
  if (QFileInfo::exists(held) ? !QFile::rename(held, it->path)
                              : !QFile(it->path).open(QIODevice::WriteOnly)) {
    instance_.ReportError(kTag, 75, QStringLiteral("パス名が無効です。"));
    QFile::remove(held);
    it->refused = true;
    return;
  }
  if (it->complete) {
    emit progress(false, it->name, it->count, it->count);
    Finish(key);
  }
}

void FileTransfer::Finish(const QString& key) {
  const Incoming in = incoming_.take(key);
  const int policy = instance_.settings.ExecuteLevel;
  if (policy == kReceiveOnly || policy == kAskReceiveOnly) return;
  instance_.ClearStatus();
  if (in.sub_code != 1 || !open_file) return;
  const QString path = in.path;
  QFile file(path);
  QByteArray head;
  if (file.open(QIODevice::ReadOnly)) head = file.read(4);
  if (RunsCode(in.name, head)) {
    instance_.ReportStatus(
        in.name + QStringLiteral("は実行ファイルのため開きません（file_Rcvに保存しました）"));
    return;
  }
  if (policy == kReceiveAskOpen || policy == kAskReceiveAskOpen) {
    const std::optional<bool> always = always_[kAskOpen];
    if (always.has_value()) {
      if (*always) open_file(path);
      return;
    }
    Ask(kAskOpen, QStringLiteral("実行確認"),
        QStringLiteral("受信したファイル\n") + in.name + QStringLiteral("\nを実行しますか？"),
        path);
    return;
  }
  open_file(path);
}

void FileTransfer::Ask(int kind, const QString& title, const QString& text,
                       const QString& subject) {
  questions_.push_back(Question{kind, title, text, subject});
  if (!asking_) AskNext();
}

void FileTransfer::AskNext() {
  if (asking_ || questions_.empty()) return;
  const Question q = questions_.front();
  questions_.pop_front();
  // An answer given for the rest of the session settles the questions queued meanwhile.
  if (always_[q.kind].has_value()) {
    Settle(q, *always_[q.kind]);
    return AskNext();
  }
  if (!confirm) {
    Settle(q, false);
    return AskNext();
  }
  asking_ = true;
  const int generation = generation_;
  QPointer<FileTransfer> self(this);
  confirm(q.title, q.text, [self, q, generation](bool yes) {
    if (!self) return;
    if (generation != self->generation_) {
      self->asking_ = false;
      return self->AskNext();
    }
    self->Settle(q, yes);
    const bool more = std::any_of(self->questions_.begin(), self->questions_.end(),
                                  [&q](const Question& o) { return o.kind == q.kind; });
    if (!more) {
      self->asking_ = false;
      return self->AskNext();
    }
    // More of the same are waiting: one more question instead of one per file.
    self->confirm(
        q.title,
        QStringLiteral("このセッションの間、以降のファイルにも同じ答え（%1）を使いますか？")
            .arg(yes ? QStringLiteral("はい") : QStringLiteral("いいえ")),
        [self, q, yes, generation](bool always) {
          if (!self) return;
          if (always && generation == self->generation_) self->always_[q.kind] = yes;
          self->asking_ = false;
          self->AskNext();
        });
  });
}

void FileTransfer::Settle(const Question& q, bool yes) {
  if (q.kind == kAskReceive) {
    Answered(q.subject, yes);
  } else if (yes && open_file) {
    open_file(q.subject);
  }
}

QString FileTransfer::CleanFileName(const QString& name) {
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
  return ShortenName(out, kMaxNameBytes);
}

QString FileTransfer::SafeFileName(const QString& name) {
  const QString out = CleanFileName(name);
  return out.isEmpty() ? QStringLiteral("received.bin") : out;
}

QString FileTransfer::ShortenName(const QString& name, int max_bytes) {
  if (QFile::encodeName(name).size() <= max_bytes) return name;
  // The extension stays when it is a short one; the rest is cut by whole characters.
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  QString extension;
  QString base = name;
  if (dot > 0 && name.size() - dot <= 16) {
    extension = name.mid(dot);
    base = name.left(dot);
  }
  const qsizetype room = max_bytes - QFile::encodeName(extension).size();
  while (!base.isEmpty() && QFile::encodeName(base).size() > room) {
    base.chop(base.size() >= 2 && base.at(base.size() - 1).isLowSurrogate() ? 2 : 1);
  }
  base = base.trimmed();
  if (base.isEmpty()) base = QStringLiteral("received");
  return base + extension;
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
