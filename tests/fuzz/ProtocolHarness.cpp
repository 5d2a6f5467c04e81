#include "ProtocolHarness.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/AppCore.h"
#include "app/CommandLine.h"
#include "common/TestSupport.h"
#include "net/Dispatcher.h"
#include "net/PacketCodec.h"
#include "net/Router.h"

namespace quillora::fuzz {

namespace {

constexpr int kSockets = 4;
constexpr int kRebuildEvery = 20000;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "protocol invariant broken: %s\n", what);
  std::abort();
}

// Whatever reaches a socket must be one well-framed packet.
class CheckingLink : public Link {
 public:
  bool IsConnected() const override { return connected; }
  void Write(const QByteArray& bytes) override {
    if (bytes.size() < kEmptyPacketSize || bytes.size() > kMaxPacketSize) Fail("packet size");
    if (bytes[0] != 1 || bytes[1] != 0 || bytes[bytes.size() - 2] != 2 ||
        bytes[bytes.size() - 1] != 0) {
      Fail("markers");
    }
    if (RawWord(bytes, 2) != bytes.size()) Fail("length word");
  }
  bool connected = true;
};

// The program folder every run starts from: settings written once, so each run reads them.
QString ProgramFolder() {
  static const QTemporaryDir folder;
  if (!folder.isValid()) Fail("no temporary folder");
  return folder.path();
}

// A server as the program runs it, every feature's handlers registered, whose connections are
// checking links: the own client (index 1, also the server's client link) and three others,
// of which number 3 has closed. Built once and reused: Reset() puts back what one input can
// change in the session (roster, streams, links, the file receiver's session state).
class FuzzServer {
 public:
  FuzzServer() : core_(ProgramFolder(), 1, sound_) {
    core_.Startup(CommandLine{});
    Router& router = core_.session().router();
    router.SetClientLink(&links_[0]);
    for (int k = 1; k <= kSockets; ++k) router.SetServerLink(k, &links_[k]);
    Reset();
  }
  ~FuzzServer() {
    core_.session().router().SetClientLink(nullptr);
    core_.session().router().ClearServerLinks();
  }

  void Reset() {
    Instance& instance = core_.instance();
    SetSessionMode(instance, ModeServer);
    SetOwnIndex(instance, 1);
    SetSocketCount(instance, kSockets);
    for (int k = 1; k <= kSockets; ++k) {
      Participant& row = ParticipantRow(instance, k);
      row = Participant{};
      row.Index = static_cast<int16_t>(k);
      row.Handle = QStringLiteral("参加者%1").arg(k);
      row.Present = true;
    }
    for (int k = 0; k <= kSockets; ++k) links_[k].connected = k != 3;
    Dispatcher& d = dispatcher();
    d.ResetClientStream();
    for (int k = 1; k <= kSockets; ++k) d.ResetServerStream(k);
    core_.files().ResetSession();
    // Received files would otherwise pile up in the temporary folder from input to input.
    QDir received(core_.files().ReceiveFolder());
    if (received.exists()) received.removeRecursively();
  }

  // What handlers left for later (timers due, deferred deletes) runs now, as the event loop
  // would between arrivals.
  static void Settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
  }

  Dispatcher& dispatcher() { return core_.session().dispatcher(); }

 private:
  test::FakeSound sound_;
  AppCore core_;
  CheckingLink links_[kSockets + 1];
};

void Feed(Dispatcher& dispatcher, const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  size_t at = 0;
  while (at < size) {
    if (size - at < 3) {
      dispatcher.DP_Clnt(QByteArrayView(bytes + at, static_cast<qsizetype>(size - at)));
      break;
    }
    const uint8_t selector = data[at];
    size_t length = data[at + 1] | (data[at + 2] << 8);
    at += 3;
    if (length > size - at) length = size - at;
    const QByteArrayView arrival(bytes + at, static_cast<qsizetype>(length));
    at += length;
    const int target = selector % (kSockets + 1);
    const bool reset = selector & 0x80;
    if (target == 0) {
      if (reset) dispatcher.ResetClientStream();
      dispatcher.DP_Clnt(arrival);
    } else {
      if (reset) dispatcher.ResetServerStream(target);
      dispatcher.DP_Srv(target, arrival);
      if (dispatcher.BufferedServerBytes(target) > Dispatcher::kInputCap) Fail("cap");
    }
  }
}

// The sanitizer runtime's own reports, where the program is built with one.
extern "C" {
__attribute__((weak)) int __lsan_do_recoverable_leak_check();
__attribute__((weak)) size_t __sanitizer_get_current_allocated_bytes();
}

size_t LiveHeapBytes() {
  return __sanitizer_get_current_allocated_bytes ? __sanitizer_get_current_allocated_bytes() : 0;
}

// One program for the whole process (building one reads and writes app.ini and costs far more
// than most inputs). It is built anew now and then, so what inputs leave in the models (pages,
// cells, cards) does not pile up without end. Taking it down is where a leak shows: whatever
// the program still holds but nothing points to is reported then (with the input that leaked
// unknown: replay the run's inputs with QUILLORA_FUZZ_FRESH=1 to find it). The leak check
// libFuzzer makes after single inputs cannot tell this apart from what the models keep, so the
// fuzz run turns it off (-detect_leaks=0). QUILLORA_FUZZ_HEAP=1 prints the live heap at each
// rebuild, before and after taking the program down.
class ReusedServer {
 public:
  ReusedServer() : report_heap_(std::getenv("QUILLORA_FUZZ_HEAP") != nullptr) {
    // The last program is taken down at exit, after the fuzzer's last input, and it still works
    // then: the chat log lays out its last lines and the table file's thread writes the pages
    // drawn since its last commit as PNG. What Qt makes on first use for that (its font tables,
    // its image readers and writers with their locks) must still be there, so it is made now,
    // before this object: exit handlers run in the reverse order of their registration.
    QFontMetricsF(QFont()).horizontalAdvance(QStringLiteral("字"));
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG") ||
        QImage::fromData(png, "PNG").isNull()) {
      Fail("no PNG support");
    }
  }
  ~ReusedServer() { TakeDown(); }

  FuzzServer& Next() {
    ++inputs_;
    if (!server_ || ++runs_ >= kRebuildEvery) {
      TakeDown();
      server_ = std::make_unique<FuzzServer>();
      runs_ = 0;
    }
    server_->Reset();
    return *server_;
  }

 private:
  void TakeDown() {
    if (!server_) return;
    QElapsedTimer clock;
    clock.start();
    const size_t with_program = LiveHeapBytes();
    server_.reset();
    FuzzServer::Settle();  // deferred deletes of what the program owned
    const size_t without = LiveHeapBytes();
    const qint64 down_ms = clock.elapsed();
    if (__lsan_do_recoverable_leak_check && __lsan_do_recoverable_leak_check() != 0) {
      Fail("memory leaked by the program (see the report above)");
    }
    if (report_heap_) {
      std::fprintf(stderr,
                   "heap after %lld inputs: %.1f MB live, %.1f MB without the program "
                   "(taken down in %lld ms, leak check %lld ms)\n",
                   static_cast<long long>(inputs_), with_program / 1048576.0, without / 1048576.0,
                   static_cast<long long>(down_ms),
                   static_cast<long long>(clock.elapsed() - down_ms));
    }
  }

  std::unique_ptr<FuzzServer> server_;
  int runs_ = 0;
  qint64 inputs_ = 0;
  bool report_heap_;
};

}  // namespace

void EnsureApplication() {
  if (QCoreApplication::instance()) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "protocol_fuzz";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* const app = new QGuiApplication(argc, argv);  // lives to the end
  (void)app;
  // Broken input is reported all the time here; keep stderr for the fuzzer's own findings.
  QLoggingCategory::setFilterRules(QStringLiteral("quillora=false"));
}

QByteArray Arrival(int target, const QByteArray& bytes, bool reset_first) {
  QByteArray out;
  out.append(static_cast<char>(target | (reset_first ? 0x80 : 0)));
  out.append(static_cast<char>(bytes.size() & 0xFF));
  out.append(static_cast<char>((bytes.size() >> 8) & 0xFF));
  return out + bytes;
}

void RunProtocolInput(const uint8_t* data, size_t size) {
  EnsureApplication();
  FuzzServer server;
  Feed(server.dispatcher(), data, size);
  FuzzServer::Settle();
}

void RunProtocolInputReused(const uint8_t* data, size_t size) {
  EnsureApplication();
  static ReusedServer reused;
  FuzzServer& server = reused.Next();
  Feed(server.dispatcher(), data, size);
  FuzzServer::Settle();
}

}  // namespace quillora::fuzz
