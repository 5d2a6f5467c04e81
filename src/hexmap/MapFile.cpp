#include "hexmap/MapFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>

#include "text/Cp932.h"

namespace quillora {

namespace {

constexpr char kMagic[4] = {'Q', 'R', 'H', 'X'};
constexpr int kPreamble = 12;

void Put32(QByteArray& out, int32_t v) {
  char b[4];
  qToLittleEndian<int32_t>(v, b);
  out.append(b, 4);
}

void Put16(QByteArray& out, int16_t v) {
  char b[2];
  qToLittleEndian<int16_t>(v, b);
  out.append(b, 2);
}

// Reads little-endian numbers; running past the end sets `short_` and yields zeros.
class Reader {
 public:
  explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}
  bool Short() const { return short_; }
  void Skip(qsizetype n) { Take(n); }
  int32_t Int32() {
    const char* p = Take(4);
    return p ? qFromLittleEndian<int32_t>(p) : 0;
  }
  int16_t Int16() {
    const char* p = Take(2);
    return p ? qFromLittleEndian<int16_t>(p) : 0;
  }
  QByteArray Bytes(qsizetype n) {
    const char* p = Take(n);
    return p ? QByteArray(p, n) : QByteArray();
  }

 private:
  const char* Take(qsizetype n) {
    if (short_ || n < 0 || bytes_.size() - pos_ < n) {
      short_ = true;
      return nullptr;
    }
    const char* p = bytes_.constData() + pos_;
    pos_ += n;
    return p;
  }
  const QByteArray& bytes_;
  qsizetype pos_ = 0;
  bool short_ = false;
};

bool HeaderIsSound(const HexMapPage& h) {
  if (h.columns < 0 || h.columns > kHexMaxMapSize || h.rows < 0 || h.rows > kHexMaxMapSize) {
    return false;
  }
  if (h.highest_slot < 0 || h.highest_slot >= kHexSlots) return false;
  // A page that was never set up is stored with an empty header; anything else must carry one
  // of the cell sizes the program draws.
  if (h.shape == 0) return h.columns == 0 && h.rows == 0;
  return PresetSizeOf(h) != 0 && h.piece_type >= kPieceNoDirection && h.piece_type <= kPieceBoth;
}

}  // namespace

QByteArray EncodeMapFile(const HexPage& page) {
  const HexMapPage& h = page.header;
  const int columns = std::clamp(h.columns, 0, kHexMaxMapSize);
  const int rows = std::clamp(h.rows, 0, kHexMaxMapSize);
  QByteArray out;
  out.reserve(kPreamble + 60 + 8 * (columns + 1) * (rows + 1) + 4);
  out.append(kMagic, 4);
  Put16(out, 1);
  Put16(out, 1);
  Put32(out, 0);
  for (int i = 0; i < HexMapPage::kFieldCount; ++i) Put32(out, h.Field(i));
  for (int r = 0; r <= rows; ++r) {
    for (int c = 0; c <= columns; ++c) {
      const HexCell& cell = page.Cell(c, r);
      Put32(out, static_cast<int32_t>(cell.colour));
      Put32(out, cell.top);
    }
  }
  const QVector<int> used = page.UsedSlots();
  Put32(out, static_cast<int32_t>(used.size()));
  for (int slot : used) {
    const HexPiece& piece = page.Piece(slot);
    Put32(out, slot);
    Put32(out, -1);
    Put32(out, piece.column);
    Put32(out, piece.row);
    Put32(out, piece.under);
    const QByteArray label = Cp932::Encode(Cp932::Normalize(piece.label)).left(0x7FFF);
    Put16(out, static_cast<int16_t>(label.size()));
    out.append(label);
    Put32(out, piece.direction);
    Put32(out, static_cast<int32_t>(piece.colour));
    Put32(out, piece.owner);
  }
  return out;
}

bool DecodeMapFile(const QByteArray& bytes, HexPage& page, QString* error) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  const QString kShort = QStringLiteral("ファイルが途中で終わっています");
  Reader in(bytes);
  in.Skip(kPreamble);  // magic and version numbers are not checked
  HexMapPage h;
  for (int i = 0; i < HexMapPage::kFieldCount; ++i) h.SetField(i, in.Int32());
  if (in.Short()) return fail(kShort);
  if (!HeaderIsSound(h)) return fail(QStringLiteral("マップの大きさが正しくありません"));

  HexPage loaded = page;
  for (int r = 0; r <= h.rows; ++r) {
    for (int c = 0; c <= h.columns; ++c) {
      HexCell& cell = loaded.MutableCell(c, r);
      cell.colour = static_cast<uint32_t>(in.Int32());
      cell.top = in.Int32();
      if (cell.top < 0 || cell.top >= kHexSlots) {
        return fail(QStringLiteral("コマの番号が正しくありません"));
      }
    }
  }
  const int32_t count = in.Int32();
  if (in.Short()) return fail(kShort);
  if (count < 0 || count >= kHexSlots) return fail(QStringLiteral("コマの数が正しくありません"));
  for (int s = 0; s < kHexSlots; ++s) {
    HexPiece& piece = loaded.MutablePiece(s);
    piece.in_use = false;
    piece.under = 0;
  }
  for (int i = 0; i < count; ++i) {
    const int32_t slot = in.Int32();
    const int32_t flag = in.Int32();
    HexPiece piece;
    piece.column = in.Int32();
    piece.row = in.Int32();
    piece.under = in.Int32();
    const int16_t length = in.Int16();
    if (in.Short()) return fail(kShort);
    if (!HexPage::IsSlot(slot) || piece.under < 0 || piece.under >= kHexSlots ||
        !HexPage::InTable(piece.column, piece.row) || length < 0) {
      return fail(QStringLiteral("コマの記録が正しくありません"));
    }
    piece.label = Cp932::Decode(in.Bytes(length));
    piece.direction = in.Int32();
    piece.colour = static_cast<uint32_t>(in.Int32());
    piece.owner = in.Int32();
    if (in.Short()) return fail(kShort);
    if (piece.direction < 0 || piece.direction > kHexMaxDirection) {
      return fail(QStringLiteral("コマの向きが正しくありません"));
    }
    piece.in_use = flag != 0;
    loaded.MutablePiece(slot) = piece;
  }
  // Cells beyond the map hold no pieces; the scroll position is this screen's own.
  for (int r = 0; r < kHexTableSpan; ++r) {
    for (int c = 0; c < kHexTableSpan; ++c) {
      if ((c > h.columns || r > h.rows) && loaded.Cell(c, r).top != 0) {
        loaded.MutableCell(c, r).top = 0;
      }
    }
  }
  h.first_column = std::clamp(h.first_column, 1, std::max(1, h.columns));
  h.first_row = std::clamp(h.first_row, 1, std::max(1, h.rows));
  loaded.header = h;
  loaded.Normalize();
  page = std::move(loaded);
  return true;
}

bool SaveMapFile(const QString& path, const HexPage& page, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(EncodeMapFile(page)) < 0 || !file.commit()) {
    if (error) *error = QStringLiteral("%1 に書き込めません").arg(QFileInfo(path).fileName());
    return false;
  }
  return true;
}

bool LoadMapFile(const QString& path, HexPage& page, QString* error) {
  const QString name = QFileInfo(path).fileName();
  QFile file(path);
  // No map is anywhere near this size; a bigger file is not one.
  constexpr qint64 kMaxFile = 1 << 22;
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFile) {
    if (error) *error = QStringLiteral("%1 を開けません").arg(name);
    return false;
  }
  QString why;
  if (!DecodeMapFile(file.readAll(), page, &why)) {
    if (error) *error = QStringLiteral("%1 を読み込めません（%2）").arg(name, why);
    return false;
  }
  return true;
}

QString MapFileName(const QString& chosen) {
  if (chosen.toLower().endsWith(QLatin1String(".mh0"))) return chosen;
  return chosen + QStringLiteral(".mh0");
}

}  // namespace quillora
