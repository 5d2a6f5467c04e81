// The hex map model: geometry, drawing, stacks, map files, the message handlers and the way
// copies settle slots that two participants took at once.
#include <gtest/gtest.h>

#include <QColor>
#include <QtEndian>
#include <deque>
#include <memory>
#include <random>
#include <set>

#include "app/SettingsFile.h"
#include "chat/Recipients.h"
#include "common/HexContent.h"
#include "common/TestSupport.h"
#include "core/Palettes.h"
#include "hexmap/HexMap.h"
#include "hexmap/HexRenderer.h"
#include "hexmap/MapFile.h"
#include "net/FileTransfer.h"
#include "net/MessageCodes.h"
#include "net/Session.h"
#include "text/IniFile.h"
#include "unit/ChatFakes.h"

namespace quillora::test {
namespace {

HexPage MadePage(int shape, int size, int piece_type = kPieceEdges, int columns = 20,
                 int rows = 12) {
  HexPage page;
  EXPECT_TRUE(page.Create(shape, size, piece_type, columns, rows));
  return page;
}

// --- geometry ------------------------------------------------------------------------------------

TEST(HexGeometryTest, PresetsAndPixelToCellFollowTheShapes) {
  struct Preset {
    int shape, size, w, h, sx, sy, d, sprite_row;
  };
  for (const Preset& e :
       {Preset{1, 1, 16, 16, 16, 16, 8, 0}, Preset{1, 4, 64, 64, 64, 64, 8, 96},
        Preset{2, 2, 32, 36, 32, 28, 12, 18}, Preset{2, 4, 64, 72, 64, 56, 12, 108},
        Preset{3, 3, 54, 48, 42, 48, 12, 48}}) {
    const HexMapPage h = MadePage(e.shape, e.size).header;
    EXPECT_EQ(QVector<int>({h.cell_width, h.cell_height, h.column_step, h.row_step,
                            h.direction_count, h.sprite_row}),
              QVector<int>({e.w, e.h, e.sx, e.sy, e.d, e.sprite_row}))
        << e.shape << "/" << e.size;
    EXPECT_EQ(PresetSizeOf(h), e.size);
  }

  struct Probe {
    int shape, x, y, column, row;
  };
  // Size 1 everywhere; first column and row 1.
  for (const Probe& e : {
           Probe{1, 0, 0, 1, 1}, Probe{1, 15, 15, 1, 1}, Probe{1, 16, 31, 2, 2},
           Probe{2, 8, 7, 1, 1},    // middle of the first cell
           Probe{2, 20, 20, 1, 2},  // even rows sit half a cell to the right
           Probe{2, 20, 14, 2, 1},  // top band of (1, 2), right of its point: up-right (2, 1)
           Probe{2, 17, 29, 1, 2},  // top band of (2, 3), left of its point: up-left (1, 2)
           Probe{2, 31, 29, 2, 2},  // right of it: up-right (2, 2)
           Probe{2, 24, 28, 2, 3},  // the top point itself
           Probe{3, 9, 8, 1, 1}, Probe{3, 20, 9, 2, 1},  // even columns sit half a cell lower
           Probe{3, 15, 10, 1, 1},  // left band of (2, 1), above its slant: (1, 1)
           Probe{3, 15, 16, 2, 1},  // beside the middle of that band: (2, 1) itself
           Probe{3, 15, 22, 1, 2},  // below its lower slant: down-left (1, 2)
           Probe{3, 14, 1, 1, 1},   // above the shifted column's first row
       }) {
    const HexMapPage h = MadePage(e.shape, 1).header;
    EXPECT_EQ(CellAtPixel(h, e.x, e.y), QPoint(e.column, e.row))
        << "shape " << e.shape << " at " << e.x << "," << e.y;
  }
  // A scrolled view counts from its first column and row.
  HexMapPage h = MadePage(1, 2).header;
  h.first_column = 5;
  h.first_row = 3;
  EXPECT_EQ(CellAtPixel(h, 40, 70), QPoint(6, 5));
  EXPECT_EQ(CellOrigin(h, 6, 5), QPoint(32, 64));
}

TEST(HexGeometryTest, DirectionsStartByPieceTypeAndTurnAroundTheCell) {
  HexMapPage square = MadePage(1, 1, kPieceCorners).header;
  EXPECT_EQ(InitialDirection(square), 1);
  EXPECT_EQ(RotatedDirection(square, 1, 2), 7);  // left turn from the first corner
  EXPECT_EQ(RotatedDirection(square, 7, 1), 1);
  HexMapPage hex = MadePage(2, 1, kPieceCorners).header;
  EXPECT_EQ(RotatedDirection(hex, 1, 2), 11);
  hex.piece_type = kPieceBoth;
  EXPECT_EQ(RotatedDirection(hex, 0, 2), 11);
  EXPECT_EQ(RotatedDirection(hex, 11, 1), 0);
  HexMapPage flat = MadePage(3, 1, kPieceNoDirection).header;
  EXPECT_EQ(InitialDirection(flat), 13);  // the outline in the piece's colour
  EXPECT_EQ(RotatedDirection(flat, 13, 1), 13);
  flat.piece_type = kPieceEdges;
  EXPECT_EQ(InitialDirection(flat), 1);
  EXPECT_EQ(InitialDirection(MadePage(1, 1, kPieceNoDirection).header), 8);  // the X mark
}

// Every coloured pixel of a drawn page belongs to the cell the pixel maps to: what is drawn
// and what is clicked agree, for every shape and size, also when scrolled.
TEST(HexGeometryTest, EveryDrawnPixelMapsToTheCellDrawnThere) {
  HexSprites sprites;
  HexRenderer renderer(sprites);
  for (int shape = 1; shape <= 3; ++shape) {
    for (int size = 1; size <= 4; ++size) {
      HexPage page = MadePage(shape, size, kPieceEdges, 40, 40);
      page.header.first_column = 2 + size % 2;
      page.header.first_row = 3 - size % 2;
      for (int r = 1; r <= 40; ++r) {
        for (int c = 1; c <= 40; ++c) page.MutableCell(c, r).colour = Rgb(c, r, 0x80);
      }
      QImage view(301, 233, QImage::Format_ARGB32_Premultiplied);
      renderer.DrawAll(view, page, false);
      std::set<std::pair<int, int>> seen;
      int checked = 0;
      for (int y = 0; y < view.height(); ++y) {
        for (int x = 0; x < view.width(); ++x) {
          const QColor px = view.pixelColor(x, y);
          if (px.blue() != 0x80) continue;  // black ground or outline
          ++checked;
          seen.insert({px.red(), px.green()});
          const QPoint cell = CellAtPixel(page.header, x, y);
          ASSERT_EQ(cell, QPoint(px.red(), px.green()))
              << "shape " << shape << " size " << size << " pixel " << x << "," << y;
        }
      }
      // Every cell that lies wholly in the view was drawn.
      const HexMapPage& h = page.header;
      for (int r = h.first_row; r <= 40; ++r) {
        for (int c = h.first_column; c <= 40; ++c) {
          const QRect box = HexRenderer::CellBox(h, c, r);
          if (view.rect().contains(box)) {
            EXPECT_TRUE(seen.count({c, r})) << shape << "/" << size << " cell " << c << "," << r;
          }
        }
      }
      EXPECT_GT(checked, view.width() * view.height() / 2);
    }
  }
}

// --- stacks
// ----------------------------------------------------------------------------------------

TEST(HexStackTest, PushRemoveFromTheMiddleAndCycle) {
  HexPage page = MadePage(1, 1);
  for (int slot : {4, 5, 6}) {
    page.MutablePiece(slot).in_use = true;
    page.PushPiece(slot, 3, 3);
  }
  EXPECT_EQ(page.Stack(3, 3), QVector<int>({6, 5, 4}));
  EXPECT_EQ(page.header.stacked_cells, 1);
  page.RemovePiece(5);
  page.MutablePiece(5).in_use = false;
  EXPECT_EQ(page.Stack(3, 3), QVector<int>({6, 4}));
  EXPECT_EQ(page.header.stacked_cells, 1);
  page.PushPiece(7, 3, 3);
  page.MutablePiece(7).in_use = true;
  page.CyclePieceStack(3, 3);
  EXPECT_EQ(page.Stack(3, 3), QVector<int>({6, 4, 7}));
  page.RemovePiece(6);
  page.RemovePiece(7);
  EXPECT_EQ(page.Stack(3, 3), QVector<int>({4}));
  EXPECT_EQ(page.header.stacked_cells, 0);
  // A loop in a damaged chain ends the walk and is cut when the page is made consistent; a
  // piece in use that no chain reaches goes back onto its cell.
  page.MutablePiece(4).under = 4;
  EXPECT_EQ(page.Stack(3, 3).size(), kHexSlots);
  page.MutablePiece(6).in_use = false;
  page.Normalize();
  EXPECT_EQ(page.Stack(3, 3), QVector<int>({7, 4}));
  EXPECT_EQ(page.header.stacked_cells, 1);
}

// --- map files
// ---------------------------------------------------------------------------------------

void Put32(QByteArray& b, int32_t v) {
  char x[4];
  qToLittleEndian(v, x);
  b.append(x, 4);
}

// A 2 x 1 square map with one piece, written by hand after the file format.
QByteArray HandWrittenMap(int32_t columns = 2, int32_t slot = 3, bool cut = false) {
  QByteArray b("QRHX");
  b.append("\x01\x00\x01\x00\x00\x00\x00\x00", 8);
  for (int32_t v : {1, 1, columns, 1, 32, 32, 1, 2, 8, 3, 1, 16, 0, 32, 32}) Put32(b, v);
  for (int r = 0; r <= 1; ++r) {
    for (int c = 0; c <= columns; ++c) {
      Put32(b, r == 0 || c == 0 ? 0 : (c == 2 ? 0x0000FF : 0xFFFFFF));
      Put32(b, r == 1 && c == 2 ? slot : 0);
    }
  }
  Put32(b, 1);
  for (int32_t v : {slot, -1, 2, 1, 0}) Put32(b, v);
  const QByteArray label("\x82\xa0\x31", 3);  // "あ1" in CP932
  b.append("\x03\x00", 2);
  b.append(label);
  for (int32_t v : {2, 0x00FF00, 4}) Put32(b, v);
  if (cut) b.chop(3);
  return b;
}

TEST(MapFileTest, HandWrittenFileLoadsAndRoundTripsByteForByte) {
  HexPage page;
  QString error;
  ASSERT_TRUE(DecodeMapFile(HandWrittenMap(), page, &error)) << error.toStdString();
  EXPECT_EQ(page.header.columns, 2);
  EXPECT_EQ(page.header.piece_type, 2);
  EXPECT_EQ(page.Cell(2, 1).colour, 0x0000FFu);
  const HexPiece& piece = page.Piece(3);
  EXPECT_TRUE(piece.in_use);
  EXPECT_EQ(piece.label, QStringLiteral("あ1"));
  EXPECT_EQ(QVector<int>({piece.column, piece.row, piece.direction, piece.owner}),
            QVector<int>({2, 1, 2, 4}));
  EXPECT_EQ(page.Stack(2, 1), QVector<int>({3}));
  EXPECT_EQ(EncodeMapFile(page), HandWrittenMap());

  // A full-size map: 256 x 256 cells after the header, then the count 0 for no pieces.
  HexPage big = MadePage(3, 2, kPieceBoth, 255, 255);
  const QByteArray bytes = EncodeMapFile(big);
  EXPECT_EQ(bytes.size(), 12 + 60 + 524288 + 4);
  EXPECT_EQ(bytes.right(4), QByteArray(4, '\0'));
  // An empty label is a length of 0 and no bytes.
  big.MutablePiece(1) = HexPiece{true, 7, 9, 0, QString(), 3, 0xABCDEF, 2};
  big.PushPiece(1, 7, 9);
  HexPage back;
  ASSERT_TRUE(DecodeMapFile(EncodeMapFile(big), back, nullptr));
  EXPECT_EQ(EncodeMapFile(back), EncodeMapFile(big));
  EXPECT_EQ(back.Stack(7, 9), QVector<int>({1}));
}

TEST(MapFileTest, BadFilesAreRefusedAndLeaveThePageAsItWas) {
  TempHome home;
  HexPage page = MadePage(2, 1);
  page.MutableCell(1, 1).colour = 0x123456;
  const QByteArray before = EncodeMapFile(page);
  QByteArray bad_geometry = HandWrittenMap();
  bad_geometry[12 + 4 * 4] = 33;  // a cell width no cell size has
  for (const QByteArray& bad :
       {HandWrittenMap(256), HandWrittenMap(2, 256), HandWrittenMap(2, 3, true),
        HandWrittenMap().left(40), bad_geometry, QByteArray()}) {
    home.Write(QStringLiteral("bad.mh0"), bad);
    QString error;
    EXPECT_FALSE(LoadMapFile(home.File(QStringLiteral("bad.mh0")), page, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("bad.mh0"))) << error.toStdString();
    EXPECT_EQ(EncodeMapFile(page), before);
  }
  EXPECT_EQ(MapFileName(QStringLiteral("/tmp/a")), QStringLiteral("/tmp/a.mh0"));
  EXPECT_EQ(MapFileName(QStringLiteral("/tmp/b.MH0")), QStringLiteral("/tmp/b.MH0"));
}

TEST(HexPaletteTest, FirstRunWritesTheSeventeenDesignColours) {
  TempHome home;
  const Settings s = DefaultSettings(home.path(), QStringLiteral("pc"));
  ASSERT_TRUE(SaveSettings(home.File(QStringLiteral("app.ini")), s));
  const QString ini = QString::fromLatin1(home.Read(QStringLiteral("app.ini")));
  const uint32_t expected[17] = {0x000000, 0x000000, 0x000000, 0xC0C0C0, 0xFFFFFF, 0x0000FF,
                                 0x0080FF, 0x00FFFF, 0x00FF00, 0xC0FFC0, 0xFFFF00, 0xFF0000,
                                 0xFF80FF, 0xFF00FF, 0x404080, 0x6161AF, 0x7DAC8A};
  for (int i = 0; i < 17; ++i) {
    EXPECT_TRUE(ini.contains(QStringLiteral("HexColor%1=%2\r\n").arg(i).arg(expected[i])) ||
                ini.contains(QStringLiteral("HexColor%1=%2\n").arg(i).arg(expected[i])))
        << i;
  }
  EXPECT_TRUE(ini.contains(QStringLiteral("HexColor5=255")));
}

// --- one participant's copy over fake connections -----------------------------------------------

// One participant: its own instance, session and hex map. Whatever it sends to the server is
// kept, decoded, in `outbox`.
struct HexCopy {
  explicit HexCopy(int index, const QString& handle)
      : instance(home.path(), 5),
        session(instance),
        files(instance, session),
        map(instance, session.router(), session.dispatcher(), files),
        link(0, &writes) {
    SetOwnIndex(instance, static_cast<int16_t>(index));
    instance.OwnHandle = handle;
    SetSessionMode(instance, index == 1 ? ModeServer : ModeClient);
    SetSocketCount(instance, 3);
    session.router().SetClientLink(&link);
    map.SetWaitsForTesting(0, 0);
    QObject::connect(&instance, &Instance::panelChanged,
                     [this](const QString&, const QString& text) { reports << text; });
  }
  // Takes what was written since the last call.
  std::deque<Packet> Outgoing() {
    std::deque<Packet> out;
    for (const Sent& s : writes) out.push_back(DecodePacket(s.bytes));
    writes.clear();
    return out;
  }
  // Receives a packet as the server relays it.
  void Receive(Packet p) {
    p.MessageCode = static_cast<int16_t>(p.MessageCode + 10);
    session.dispatcher().ClientDispatch(p);
  }

  TempHome home;
  Instance instance;
  RecordingChat chat;
  Recipients recipients;
  Session session;
  FileTransfer files;
  HexMap map;
  QVector<Sent> writes;
  FakeLink link;
  QStringList reports;
};

// Three participants act at random while a simulated server relays their messages in one
// random order; every copy applies its own operations at once. Whatever the interleaving, all
// copies end equal and hold exactly the pieces their owners added and did not delete.
TEST(HexConvergenceTest, RandomInterleavingsOfAddsMovesTurnsAndDeletesEndEqual) {
  for (unsigned seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    std::vector<std::unique_ptr<HexCopy>> copies;
    const QStringList names = {"Ann", "Bob", "Cid"};
    for (int i = 1; i <= 3; ++i) copies.push_back(std::make_unique<HexCopy>(i, names[i - 1]));
    std::vector<std::deque<Packet>> pending(3);
    auto collect = [&](int i) {
      for (Packet& p : copies[i]->Outgoing()) pending[i].push_back(std::move(p));
    };
    ASSERT_EQ(copies[0]->map.CreatePage(1 + seed % 3, 1, kPieceBoth, 4, 3), 1);
    collect(0);
    // The page reaches everybody before anyone acts.
    while (!pending[0].empty()) {
      const Packet p = pending[0].front();
      pending[0].pop_front();
      copies[1]->Receive(p);
      copies[2]->Receive(p);
    }
    // The server passes the next message of one sender to the two others.
    auto relay = [&](int who) {
      if (pending[who].empty()) return false;
      const Packet p = pending[who].front();
      pending[who].pop_front();
      for (int other = 0; other < 3; ++other) {
        if (other == who) continue;
        copies[other]->Receive(p);
        collect(other);
      }
      return true;
    };
    auto pick = [&](int n) { return static_cast<int>(rng() % n); };
    for (int step = 0; step < 160; ++step) {
      const int who = pick(3);
      HexMap& map = copies[who]->map;
      const QPoint cell(1 + pick(4), 1 + pick(3));
      switch (pick(6)) {
        case 0:
        case 1:
          map.AddPieceAt(cell, 0x10 * who);
          break;
        case 2:
          map.DeletePieceAt(cell);
          break;
        case 3:
          if (map.BeginDrag(cell)) {
            map.DragOver(QPoint(1 + pick(4), 1 + pick(3)));
            map.EndDrag(pick(2) ? Qt::LeftButton : Qt::RightButton);
          }
          break;
        default:
          // The server relays a few messages of one sender.
          for (int k = pick(3); k >= 0 && relay(who);) --k;
          break;
      }
      collect(who);
    }
    // Everything still under way arrives.
    for (bool busy = true; busy;) {
      busy = false;
      for (int who = 0; who < 3; ++who) {
        while (relay(who)) busy = true;
      }
    }
    const QStringList first = HexContent(copies[0]->map);
    EXPECT_EQ(HexContent(copies[1]->map), first) << "seed " << seed;
    EXPECT_EQ(HexContent(copies[2]->map), first) << "seed " << seed;
    // Each owner's view of its own pieces is what everybody holds.
    for (int who = 0; who < 3; ++who) {
      for (int other = 0; other < 3; ++other) {
        QStringList mine, theirs;
        for (int slot : copies[who]->map.Page(1)->UsedSlots()) {
          const HexPiece& p = copies[who]->map.Page(1)->Piece(slot);
          if (p.owner == who + 1) mine << p.label;
        }
        for (int slot : copies[other]->map.Page(1)->UsedSlots()) {
          const HexPiece& p = copies[other]->map.Page(1)->Piece(slot);
          if (p.owner == who + 1) theirs << p.label;
        }
        mine.sort();
        theirs.sort();
        EXPECT_EQ(mine, theirs) << "seed " << seed;
      }
      EXPECT_TRUE(copies[who]->reports.filter(QStringLiteral("Err")).isEmpty())
          << copies[who]->reports.join('\n').toStdString();
    }
  }
}

// --- handlers against bad input ------------------------------------------------------------------

TEST(HexHandlerTest, OutOfRangeNumbersCostOnlyThatPacket) {
  HexCopy copy(2, QStringLiteral("Bob"));
  auto send = [&](int code, int sub, int sender, std::initializer_list<ItemValue> items) {
    Packet p(static_cast<int16_t>(code), static_cast<int16_t>(sub), static_cast<int16_t>(sender));
    for (const ItemValue& v : items) p.Add(v);
    copy.session.dispatcher().ClientDispatch(p);
  };
  send(611, 1, 1, {int32_t{30000}, 1, 1, 1, 8, 8});  // would extend the tables enormously
  send(611, 1, 1, {int32_t{1}, 4, 1, 1, 8, 8});      // no shape 4
  send(611, 1, 1, {int32_t{1}, 1, 1, 1, 256, 8});    // too wide
  EXPECT_EQ(copy.map.PageCount(), 0);
  send(611, 1, 1, {int32_t{1}, 1, 1, 2, 8, 8});
  ASSERT_EQ(copy.map.PageCount(), 1);
  send(613, 1, 3, {int32_t{1}, 256, 2, 2, 0xFF, QStringLiteral("C1"), 0, 3});  // slot 256
  send(613, 1, 3, {int32_t{1}, 5, 2, 300, 0xFF, QStringLiteral("C1"), 0, 3});  // row 300
  send(613, 1, 3, {int32_t{1}, 5, 2, 2, 0xFF, QStringLiteral("C1"), 0, 1});    // not its own
  send(612, 2, 3, {int32_t{1}, 0xFF, 256});                                    // count 256
  send(612, 2, 3, {int32_t{1}, 0xFF, 2, 1, 1});                                // cut short
  EXPECT_TRUE(copy.map.Page(1)->UsedSlots().isEmpty());
  EXPECT_EQ(copy.map.Page(1)->Cell(1, 1).colour, kHexWhite);
  EXPECT_EQ(copy.reports.filter(QStringLiteral("UHex_Clnt")).size(), 8);
  // The next sound packet still counts, and only the owner moves its piece.
  send(613, 1, 3, {int32_t{1}, 5, 2, 2, 0xFF, QStringLiteral("C1"), 0, 3});
  send(615, 1, 1, {int32_t{1}, 5, 2, 2, 4, 4});
  send(614, 1, 2, {int32_t{1}, 5, 2, 2});
  EXPECT_EQ(copy.map.Page(1)->Stack(2, 2), QVector<int>({5}));
  send(615, 1, 3, {int32_t{1}, 5, 2, 2, 4, 4});
  EXPECT_EQ(copy.map.Page(1)->Stack(4, 4), QVector<int>({5}));
  // A page switch counts only from the server's user.
  send(611, 1, 1, {int32_t{2}, 1, 1, 2, 8, 8});
  send(617, 1, 3, {int32_t{1}});
  EXPECT_EQ(copy.map.CurrentPage(), 2);
  send(617, 1, 1, {int32_t{1}});
  EXPECT_EQ(copy.map.CurrentPage(), 1);
}

// Random and cut-short packets of every hex code, at both the client and the server handlers.
TEST(HexHandlerTest, GarbageOfEveryCodeIsReportedNeverFatal) {
  HexCopy copy(1, QStringLiteral("Ann"));
  std::mt19937 rng(99);
  for (int round = 0; round < 3000; ++round) {
    const int code = round % 10 == 9 ? 609 : 611 + round % 8;
    Packet p(static_cast<int16_t>(code), static_cast<int16_t>(rng() % 4),
             static_cast<int16_t>(rng() % 4));
    const int count = static_cast<int>(rng() % 12);
    for (int i = 0; i < count; ++i) {
      switch (rng() % 5) {
        case 0:
          p.Add(static_cast<int32_t>(rng() % 300) - 20);
          break;
        case 1:
          p.Add(static_cast<int32_t>(rng()));
          break;
        case 2:
          p.Add(QStringLiteral("sysmap%1.mh0").arg(rng() % 3));
          break;
        case 3:
          p.Add(static_cast<int16_t>(rng() % 5));
          break;
        default:
          p.Add(static_cast<double>(rng() % 1000) / 7.0);
          break;
      }
    }
    if (code == 609) {
      copy.session.dispatcher().DP_Serv(static_cast<int>(rng() % 5), p);
    } else {
      copy.session.dispatcher().ClientDispatch(p);
    }
  }
  EXPECT_LE(copy.map.PageCount(), kHexMaxPages);
  for (int n = 1; n <= copy.map.PageCount(); ++n) {
    const HexPage& page = *copy.map.Page(n);
    for (int slot : page.UsedSlots()) {
      const HexPiece& piece = page.Piece(slot);
      EXPECT_TRUE(page.Stack(piece.column, piece.row).contains(slot));
    }
  }
}

}  // namespace
}  // namespace quillora::test
