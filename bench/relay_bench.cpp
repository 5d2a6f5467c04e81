// Relay benchmark: N raw clients each send short chat messages at a fixed rate through a relay
// server and measure how many deliveries arrive per second and how long they take.
//
//   relay_bench --serve PORT                 run a bare Quillora session server (child process)
//   relay_bench quillora [N...]              start that bare server and load it with N clients
//   relay_bench program [N...]               start the real program (`quillora --server`,
//                                            offscreen, its window showing every line; found
//                                            beside this executable or by --program PATH)
//   relay_bench window [N...]                the same program composition (AppCore and every
//                                            window, offscreen) inside a child of this
//                                            executable, which also reports how late a 50 ms
//                                            timer in its event loop fired at worst
//   relay_bench irc PORT [N...]              load an IRC server already listening on PORT
//   relay_bench at PORT [N...]               load a Quillora server already running (with
//                                            --address A.B.C.D: on another machine or namespace)
// Options: --rate R (messages per second per client, default 50), --seconds S (default 5),
// --server-pid PID (the IRC server's process, for its resident memory),
// --flood (one more client sends as fast as its socket allows; the others' latency is measured),
// --stall (one more client joins and then never reads; reports when the server cut it),
// --file BYTES (one more client sends a file of BYTES in 2048-byte pieces at --file-rate KB/s,
// default 64, 0 for as fast as its socket takes them; every receiver checks it byte for byte).
//
// The clients live in this process on one poll() loop; the server runs in its own process, so
// its resident memory is its own. Latency is measured from the send time written into each
// message to its arrival at every receiver, on this process's monotonic clock.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppCore.h"
#include "app/ProgramShell.h"
#include "core/Instance.h"
#include "net/PacketCodec.h"
#include "net/Session.h"
#include "net/SocketLink.h"
#include "net/StreamBuffer.h"
#include "ui/QtDialogs.h"
#include "ui/QtSound.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point kStart = Clock::now();
int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - kStart).count();
}

// --- the server side -------------------------------------------------------------------------

int Serve(int argc, char** argv, int port) {
  QCoreApplication app(argc, argv);
  QTemporaryDir home;
  quillora::Instance instance(home.path(), 1);
  instance.OwnHandle = QStringLiteral("server");
  quillora::Session session(instance);
  session.SetPort(port);
  if (!session.BecomeServer()) {
    std::fprintf(stderr, "cannot listen on %d\n", port);
    return 1;
  }
  // Tell the driver once the server's own user is participant 1.
  QTimer ready;
  QObject::connect(&ready, &QTimer::timeout, [&] {
    if (instance.OwnIndex != 1) return;
    ready.stop();
    std::puts("ready");
    std::fflush(stdout);
  });
  ready.start(10);
  return app.exec();
}

// The program as main() composes it, serving, with a probe in its event loop: a 50 ms timer
// whose worst lateness is written to `lag_file` whenever it grows.
int ServeProgram(int argc, char** argv, int port, const char* lag_file) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir home;
  quillora::QtSound sound;
  quillora::QtDialogs dialogs;
  quillora::AppCore core(home.path(), 1, sound);
  quillora::CommandLine options;
  options.port = port;
  options.handle = QStringLiteral("host");
  core.Startup(options);
  // The heavier case: every line also goes to both day-log files.
  core.instance().settings.AutoSaveRTF = true;
  core.instance().settings.AutoSaveText = true;
  quillora::ProgramShell shell(core, dialogs);
  shell.Show();
  if (!core.session().BecomeServer()) return 1;
  QElapsedTimer clock;
  qint64 due = -1;
  qint64 worst = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (due >= 0 && now - due > worst) {
      worst = now - due;
      std::ofstream(lag_file) << worst << "\n";
    }
    due = now + 50;
  });
  QTimer ready;
  QObject::connect(&ready, &QTimer::timeout, [&] {
    if (core.instance().OwnIndex != 1) return;
    ready.stop();
    clock.start();
    probe.start(50);
    std::puts("ready");
    std::fflush(stdout);
  });
  ready.start(10);
  return app.exec();
}

// --- the clients -----------------------------------------------------------------------------

enum class Kind { kQuillora, kIrc };
enum class Role { kChat, kFlood, kStall, kFile };

struct Client {
  int fd = -1;
  int id = 0;
  Role role = Role::kChat;
  std::string in;
  std::string out;
  bool ready = false;  // joined and listed
  bool lost = false;
  quillora::StreamBuffer stream;
  int64_t next_send = 0;
  int64_t seq = 0;
  std::string file;  // what arrived of the file, by position
  bool file_done = false;
  quillora::BulkPacer pacer;
  std::string line_template;  // an encoded chat line of this client, see QuilloraSend()
};

struct Stats {
  std::vector<int64_t> latencies;
  int64_t sent = 0;       // chat messages sent by chatters
  int64_t delivered = 0;  // chat messages of chatters that arrived at chatters
  int64_t flood_sent = 0;
  int64_t flood_delivered = 0;
  int stall_id = -1;          // the non-reading client's index on the server
  int64_t stall_since = -1;   // when it stopped reading
  int64_t stall_cut_at = -1;  // when the others heard it was gone
  int others_gone = 0;        // departures announced of anyone else
  int64_t file_pieces_sent = 0;
  int64_t file_done_at = -1;
};

struct Load {
  std::string address;  // of a server elsewhere; empty: this machine's loopback
  int chatters = 8;
  int rate = 50;
  int seconds = 5;
  bool flood = false;
  bool stall = false;
  int64_t file_bytes = 0;
  int file_rate = 64;  // KB/s
};

std::string FileBytes(int64_t size) {
  std::string bytes(static_cast<size_t>(size), '\0');
  for (int64_t i = 0; i < size; ++i)
    bytes[static_cast<size_t>(i)] = static_cast<char>((i * 7 + 3) & 0xFF);
  return bytes;
}

// `source` > 0 on loopback: connect from 127.0.1.<source>, so that the server's limit on
// connections per address and minute does not meet a benchmark's many clients.
int ConnectTo(int port, const std::string& address = {}, int source = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (address.empty() && source > 0) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(0x7F000100u | static_cast<uint32_t>(source % 250 + 1));
    bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (!address.empty()) inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

std::string Encode(const quillora::Packet& p) {
  const QByteArray bytes = quillora::EncodePacket(p);
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// About 100 bytes on the wire either way: the sender, the sequence, the send time, padding.
std::string Payload(const Client& c, int64_t now, int width) {
  std::string s = std::to_string(c.id) + "," + std::to_string(c.seq) + "," + std::to_string(now) +
                  "," + (c.role == Role::kFlood ? "F" : "C");
  if (static_cast<int>(s.size()) < width) s.append(static_cast<size_t>(width - s.size()), 'x');
  return s;
}

void Record(Stats& stats, const Client& receiver, const std::string& payload, int64_t now) {
  if (receiver.role != Role::kChat) return;
  const size_t a = payload.find(',');
  const size_t b = payload.find(',', a + 1);
  const size_t c = payload.find(',', b + 1);
  if (a == std::string::npos || b == std::string::npos || c == std::string::npos ||
      c + 1 >= payload.size()) {
    return;
  }
  if (payload[c + 1] == 'F') {
    ++stats.flood_delivered;
    return;
  }
  stats.latencies.push_back(now - std::stoll(payload.substr(b + 1, c - b - 1)));
  ++stats.delivered;
}

void Departure(Stats& stats, const Client& receiver, int who) {
  if (receiver.role != Role::kChat) return;
  if (who == stats.stall_id) {
    if (stats.stall_cut_at < 0) stats.stall_cut_at = NowNs();
  } else {
    ++stats.others_gone;
  }
}

// Quillora: 204 hello, 2 index, 201 join; ready once our own announcement (code 1) arrives.
// Where the first item's payload begins: the header, then the item's length and type words.
constexpr qsizetype kFirstItem = quillora::kPacketHeaderSize + 4;

void QuilloraInput(Client& c, Stats& stats, bool measuring, const std::string& file) {
  c.stream.Append(QByteArrayView(c.in.data(), static_cast<qsizetype>(c.in.size())));
  c.in.clear();
  QByteArray bytes;
  quillora::ProtocolError error{0, {}};
  bool report = false;
  while (c.stream.Next(&bytes, &error, &report) == quillora::StreamBuffer::Cut::kPacket) {
    // Chat lines are nearly all of what arrives. Their text (ASCII in UTF-16 words) is read
    // straight from the bytes, as cheaply as the IRC side reads its lines, so that decoding
    // whole packets in this one process does not set the pace of the busiest rows.
    if (measuring && bytes.size() >= kFirstItem && quillora::RawWord(bytes, 8) == 101 &&
        quillora::RawWord(bytes, kFirstItem - 2) == quillora::kItemText) {
      const qsizetype length = quillora::RawWord(bytes, kFirstItem - 4);
      if (kFirstItem + length <= bytes.size()) {
        std::string text(static_cast<size_t>(length / 2), ' ');
        for (qsizetype i = 0; i < length / 2; ++i) {
          text[static_cast<size_t>(i)] = bytes[kFirstItem + 2 * i];
        }
        Record(stats, c, text, NowNs());
        continue;
      }
    }
    const quillora::Packet p = quillora::DecodePacket(bytes);
    if (p.MessageCode == 2) {
      c.id = p.Int(1);
      quillora::Packet join(201, 0, static_cast<int16_t>(c.id), 1);
      join.Add(QStringLiteral("bench%1").arg(c.id)).Add(int32_t{0});
      c.out += Encode(join);
    } else if (p.MessageCode == 1 && p.Int(1) == c.id) {
      c.ready = true;
    } else if (p.MessageCode == 101 && measuring) {
      Record(stats, c, p.Text(1).toStdString(), NowNs());
    } else if (p.MessageCode == 3 && c.ready) {
      Departure(stats, c, p.Int(1));
    } else if (p.MessageCode == 111 && c.role == Role::kChat) {
      const size_t at = static_cast<size_t>(p.Int(5) - 1);
      if (c.file.capacity() < file.size()) c.file.reserve(file.size());
      if (c.file.size() < at + static_cast<size_t>(p.BinData.size())) {
        c.file.resize(at + static_cast<size_t>(p.BinData.size()));
      }
      std::memcpy(c.file.data() + at, p.BinData.constData(), static_cast<size_t>(p.BinData.size()));
      // The time the last receiver had it whole.
      if (!c.file_done && c.file.size() == file.size() && c.file == file) {
        c.file_done = true;
        stats.file_done_at = NowNs();
      }
    }
  }
}

// A flooder sends a hundred thousand lines a second: the first line is encoded by the codec and
// kept, the others copy it with their own text (ASCII, one UTF-16 word a character), as cheaply
// as the IRC side builds its lines.
void QuilloraSend(Client& c, int64_t now) {
  constexpr size_t kWidth = 40;  // 20 + 2 * 40 = 100 bytes
  const std::string text = Payload(c, now, kWidth);
  if (c.line_template.empty() || text.size() != kWidth) {
    quillora::Packet p(301, 1, static_cast<int16_t>(c.id), 0);
    p.Add(QString::fromStdString(text));
    const std::string bytes = Encode(p);
    if (text.size() == kWidth) c.line_template = bytes;
    c.out += bytes;
    return;
  }
  const size_t at = c.out.size() + static_cast<size_t>(kFirstItem);
  c.out += c.line_template;
  for (size_t i = 0; i < kWidth; ++i) c.out[at + 2 * i] = text[i];
}

void QuilloraPiece(Client& c, const std::string& file, int64_t k) {
  const int64_t size = static_cast<int64_t>(file.size());
  const int32_t count = static_cast<int32_t>((size - 1) / 2048 + 1);
  quillora::Packet p(311, 2, static_cast<int16_t>(c.id), 0);
  p.Add(QStringLiteral("bench.bin"))
      .Add(count)
      .Add(static_cast<int32_t>(k))
      .Add(static_cast<int32_t>(size))
      .Add(static_cast<int32_t>((k - 1) * 2048 + 1));
  const size_t at = static_cast<size_t>((k - 1) * 2048);
  p.SetBin(QByteArray(file.data() + at,
                      static_cast<qsizetype>(std::min<size_t>(2048, file.size() - at))));
  c.out += Encode(p);
}

void IrcInput(Client& c, Stats& stats, bool measuring) {
  size_t start = 0;
  for (;;) {
    const size_t end = c.in.find("\r\n", start);
    if (end == std::string::npos) break;
    const std::string line = c.in.substr(start, end - start);
    start = end + 2;
    if (line.rfind("PING", 0) == 0) {
      c.out += "PONG" + line.substr(4) + "\r\n";
    } else if (line.find(" 001 ") != std::string::npos) {
      c.out += "JOIN #bench\r\n";
    } else if (line.find(" 366 ") != std::string::npos) {
      c.ready = true;
    } else if (measuring && line.find(" PRIVMSG #bench :") != std::string::npos) {
      Record(stats, c, line.substr(line.find(" :", 1) + 2), NowNs());
    } else if (c.ready && line.find(" QUIT ") != std::string::npos && line.size() > 2) {
      // ":bN!..." — our nick bN is client index N.
      Departure(stats, c, std::atoi(line.c_str() + 2) + 1);
    }
  }
  c.in.erase(0, start);
}

void IrcSend(Client& c, int64_t now) {
  // "PRIVMSG #bench :" + 82 + CRLF = 100 bytes.
  c.out += "PRIVMSG #bench :" + Payload(c, now, 82) + "\r\n";
}

bool Pump(std::vector<Client>& clients, Kind kind, Stats& stats, bool measuring, int timeout_ms,
          const std::string& file) {
  std::vector<pollfd> fds(clients.size());
  for (size_t i = 0; i < clients.size(); ++i) {
    const Client& c = clients[i];
    const bool reads = !(c.role == Role::kStall && stats.stall_since >= 0);
    fds[i] = {c.lost ? -1 : c.fd,
              static_cast<short>((reads ? POLLIN : 0) | (c.out.empty() ? 0 : POLLOUT)), 0};
  }
  if (poll(fds.data(), fds.size(), timeout_ms) < 0) return false;
  static char buf[1 << 16];
  for (size_t i = 0; i < clients.size(); ++i) {
    Client& c = clients[i];
    if (c.lost) continue;
    if (fds[i].revents & (POLLERR | POLLHUP)) {
      if (c.role == Role::kStall) {
        c.lost = true;
        continue;
      }
      std::fprintf(stderr, "client %zu lost its connection\n", i);
      return false;
    }
    if (fds[i].revents & POLLIN) {
      // Each buffer is taken in as it is read, so that what waits to be cut stays small: a
      // client that gathered megabytes first would spend its time on copies and fresh pages
      // (and measure itself, not the server).
      for (;;) {
        const ssize_t n = read(c.fd, buf, sizeof buf);
        if (n <= 0) {
          if (n == 0) {
            if (c.role == Role::kStall) {
              c.lost = true;
              break;
            }
            std::fprintf(stderr, "client %zu closed by the server\n", i);
            return false;
          }
          break;
        }
        c.in.append(buf, static_cast<size_t>(n));
        if (kind == Kind::kQuillora) {
          QuilloraInput(c, stats, measuring, file);
        } else {
          IrcInput(c, stats, measuring);
        }
      }
    }
    if (!c.out.empty()) {
      const ssize_t n = write(c.fd, c.out.data(), c.out.size());
      if (n > 0) c.out.erase(0, static_cast<size_t>(n));
    }
  }
  return true;
}

int64_t Percentile(std::vector<int64_t>& v, double q) {
  if (v.empty()) return 0;
  const size_t k = std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
  return v[k];
}

// The resident memory of `pid` now ("VmRSS:") or at its peak ("VmHWM:"), in kB.
long RssKb(pid_t pid, const char* which = "VmRSS:") {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == which) {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 20, '\n');
  }
  return -1;
}

// CPU time (user + system) a process has used so far, in seconds; -1 when unknown.
double CpuSecondsOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return -1;
  // Fields after the command name, which is in parentheses and may hold spaces.
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) stime = std::atoll(field.c_str());
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool RunLoad(Kind kind, const char* label, int port, const Load& load, pid_t server_pid) {
  std::vector<Client> clients;
  const auto add = [&](Role role) {
    Client c;
    c.role = role;
    clients.push_back(std::move(c));
  };
  for (int i = 0; i < load.chatters; ++i) add(Role::kChat);
  if (load.flood) add(Role::kFlood);
  if (load.stall) add(Role::kStall);
  if (load.file_bytes > 0) add(Role::kFile);
  const std::string file = load.file_bytes > 0 ? FileBytes(load.file_bytes) : std::string();
  Stats stats;
  for (size_t i = 0; i < clients.size(); ++i) {
    Client& c = clients[i];
    c.fd = ConnectTo(port, load.address, static_cast<int>(i) + 1);
    if (c.fd < 0) {
      std::fprintf(stderr, "cannot connect to %d\n", port);
      return false;
    }
    if (c.role == Role::kStall) {
      // A small window, so that what it does not read piles up at the server soon.
      int small = 16 * 1024;
      setsockopt(c.fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }
    c.id = static_cast<int>(i) + 1;
    if (kind == Kind::kQuillora) {
      c.out = Encode(quillora::Packet(204, 0));
    } else {
      c.out = "NICK b" + std::to_string(i) + "\r\nUSER b" + std::to_string(i) + " 0 * :bench\r\n";
    }
  }
  // Join everyone, then let the announcements settle.
  const int64_t join_deadline = NowNs() + 20'000'000'000;
  while (!std::all_of(clients.begin(), clients.end(), [](const Client& c) { return c.ready; })) {
    if (NowNs() > join_deadline || !Pump(clients, kind, stats, false, 10, file)) {
      std::fprintf(stderr, "join failed\n");
      return false;
    }
  }
  const int64_t settle = NowNs() + 500'000'000;
  while (NowNs() < settle) Pump(clients, kind, stats, false, 10, file);

  const int n = load.chatters;
  const int64_t interval = 1'000'000'000 / load.rate;
  const int64_t begin = NowNs();
  const double server_cpu_before = server_pid > 0 ? CpuSecondsOf(server_pid) : -1;
  const int64_t stop_sending = begin + int64_t{load.seconds} * 1'000'000'000;
  for (size_t i = 0; i < clients.size(); ++i) {
    clients[i].next_send = begin + interval * static_cast<int64_t>(i) / n;  // spread the starts
    if (clients[i].role == Role::kStall) {
      stats.stall_id = kind == Kind::kQuillora ? clients[i].id : static_cast<int>(i) + 1;
      stats.stall_since = begin;
    }
  }
  const int64_t piece_ns = load.file_bytes > 0 && load.file_rate > 0
                               ? int64_t{2048} * 1'000'000'000 / (int64_t{load.file_rate} * 1024)
                               : 0;
  const int64_t pieces = load.file_bytes > 0 ? (load.file_bytes - 1) / 2048 + 1 : 0;
  // Chatters hear every chatter (IRC does not echo the sender).
  const int64_t fanout = kind == Kind::kQuillora ? n : n - 1;
  int64_t last_delivery = begin;
  const int64_t drain_limit = 30'000'000'000;
  for (;;) {
    const int64_t now = NowNs();
    for (Client& c : clients) {
      if (c.lost) continue;
      if (c.role == Role::kChat && now < stop_sending) {
        while (c.next_send <= now && c.next_send < stop_sending) {
          if (kind == Kind::kQuillora) {
            QuilloraSend(c, now);
          } else {
            IrcSend(c, now);
          }
          ++c.seq;
          ++stats.sent;
          c.next_send += interval;
        }
      } else if (c.role == Role::kFlood && now < stop_sending) {
        // As fast as the socket takes it: keep something always waiting to be written.
        while (c.out.size() < 64 * 1024) {
          if (kind == Kind::kQuillora) {
            QuilloraSend(c, now);
          } else {
            IrcSend(c, now);
          }
          ++c.seq;
          ++stats.flood_sent;
        }
      } else if (c.role == Role::kFile && kind == Kind::kQuillora && load.file_rate == 0) {
        // Like the program at line speed: pieces while the system may take more of them, by
        // the program's own rule.
        qint64 room = c.pacer.Room(c.fd).value_or(1);
        while (stats.file_pieces_sent < pieces && c.out.empty() && room > 0) {
          QuilloraPiece(c, file, ++stats.file_pieces_sent);
          const ssize_t n = write(c.fd, c.out.data(), c.out.size());
          if (n > 0) c.out.erase(0, static_cast<size_t>(n));
          room -= std::max<ssize_t>(n, 1);
        }
      } else if (c.role == Role::kFile && kind == Kind::kQuillora &&
                 stats.file_pieces_sent < pieces && c.out.empty() &&
                 now >= begin + stats.file_pieces_sent * piece_ns) {
        // Like the program with a ceiling: the next piece once the previous has left.
        QuilloraPiece(c, file, ++stats.file_pieces_sent);
      }
    }
    const int64_t before = stats.delivered;
    if (!Pump(clients, kind, stats, true, 1, file)) return false;
    if (stats.delivered != before) last_delivery = NowNs();
    const bool chat_done = stats.delivered >= stats.sent * fanout;
    const bool file_done = load.file_bytes == 0 || kind != Kind::kQuillora ||
                           std::all_of(clients.begin(), clients.end(), [&](const Client& c) {
                             return c.role != Role::kChat || c.file_done;
                           });
    const bool stall_done = !load.stall || stats.stall_cut_at >= 0;
    if (now >= stop_sending && chat_done && file_done && stall_done) break;
    if (now >= stop_sending + drain_limit) break;
  }
  const double span = static_cast<double>(last_delivery - begin) / 1e9;
  const double drained = static_cast<double>(last_delivery - stop_sending) / 1e9;
  const long rss = server_pid > 0 ? RssKb(server_pid) : -1;
  const long peak = server_pid > 0 ? RssKb(server_pid, "VmHWM:") : -1;
  const double server_cpu = server_pid > 0 ? CpuSecondsOf(server_pid) - server_cpu_before : -1;
  std::printf(
      "%-8s clients=%-3d rate=%d/s%s%s sent=%lld delivered=%lld/%lld (%.2f%%) "
      "deliveries/s=%.0f p50=%.2fms p99=%.2fms last+%.2fs server_rss=%ldkB server_peak=%ldkB "
      "server_cpu=%.2fs",
      label, n, load.rate, load.flood ? " +flood" : "", load.stall ? " +stall" : "",
      static_cast<long long>(stats.sent), static_cast<long long>(stats.delivered),
      static_cast<long long>(stats.sent * fanout),
      100.0 * static_cast<double>(stats.delivered) / static_cast<double>(stats.sent * fanout),
      static_cast<double>(stats.delivered) / span,
      static_cast<double>(Percentile(stats.latencies, 0.50)) / 1e6,
      static_cast<double>(Percentile(stats.latencies, 0.99)) / 1e6, drained, rss, peak, server_cpu);
  if (load.flood) {
    std::printf(" flood_sent=%lld flood_heard=%lld", static_cast<long long>(stats.flood_sent),
                static_cast<long long>(stats.flood_delivered));
  }
  if (load.stall) {
    std::printf(" stalled_cut_after=%.1fs",
                stats.stall_cut_at < 0
                    ? -1.0
                    : static_cast<double>(stats.stall_cut_at - stats.stall_since) / 1e9);
  }
  if (load.file_bytes > 0 && kind == Kind::kQuillora) {
    std::printf(
        " file=%s in %.2fs",
        std::all_of(clients.begin(), clients.end(),
                    [](const Client& c) { return c.role != Role::kChat || c.file_done; })
            ? "byte-exact"
            : "INCOMPLETE",
        stats.file_done_at < 0 ? -1.0 : static_cast<double>(stats.file_done_at - begin) / 1e9);
  }
  std::printf(" others_cut=%d\n", stats.others_gone);
  std::fflush(stdout);
  for (Client& c : clients) close(c.fd);
  return true;
}

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

// Starts the bare server (this executable with --serve) and waits for its "ready".
pid_t SpawnBare(const char* self, int port, const std::string& lag_file = {}) {
  const std::string port_text = std::to_string(port);
  char* child_argv[] = {const_cast<char*>(self),
                        const_cast<char*>(lag_file.empty() ? "--serve" : "--serve-program"),
                        const_cast<char*>(port_text.c_str()),
                        lag_file.empty() ? nullptr : const_cast<char*>(lag_file.c_str()), nullptr};
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  pid_t server = -1;
  const int spawned =
      posix_spawn(&server, "/proc/self/exe", &actions, nullptr, child_argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (spawned != 0) return -1;
  // "ready": the server listens and its own user has joined as participant 1.
  char line[16] = {};
  const ssize_t got = read(pipe_fds[0], line, sizeof line - 1);
  close(pipe_fds[0]);
  if (got <= 0 || std::strncmp(line, "ready", 5) != 0) return -1;
  return server;
}

// Starts the real program as a user would with `quillora --server`, offscreen, in a fresh
// program folder, and waits until it listens and its own user has joined.
pid_t SpawnProgram(const std::string& program, const std::string& home, int port) {
  const std::string port_text = std::to_string(port);
  char* child_argv[] = {const_cast<char*>(program.c_str()),
                        const_cast<char*>("--home"),
                        const_cast<char*>(home.c_str()),
                        const_cast<char*>("--port"),
                        const_cast<char*>(port_text.c_str()),
                        const_cast<char*>("--server"),
                        const_cast<char*>("--no-port-mapping"),
                        const_cast<char*>("--handle"),
                        const_cast<char*>("host"),
                        nullptr};
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0) env_text.emplace_back(*e);
  }
  env_text.emplace_back("QT_QPA_PLATFORM=offscreen");
  std::vector<char*> env;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  pid_t server = -1;
  if (posix_spawn(&server, program.c_str(), nullptr, nullptr, child_argv, env.data()) != 0) {
    return -1;
  }
  // Its own user connects right after it starts listening; a probe that joins and sees an index
  // above 1 knows the host is participant 1. (The probe leaves again; its index stays unused.)
  const int64_t deadline = NowNs() + 30'000'000'000;
  while (NowNs() < deadline) {
    usleep(200'000);
    const int fd = ConnectTo(port);
    if (fd < 0) continue;
    const std::string hello = Encode(quillora::Packet(204, 0));
    (void)!write(fd, hello.data(), hello.size());
    quillora::StreamBuffer stream;
    char buf[4096];
    int index = 0;
    const int64_t wait_until = NowNs() + 5'000'000'000;
    while (index == 0 && NowNs() < wait_until) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t got = read(fd, buf, sizeof buf);
      if (got <= 0) break;
      stream.Append(QByteArrayView(buf, got));
      QByteArray bytes;
      quillora::ProtocolError error{0, {}};
      bool report = false;
      while (stream.Next(&bytes, &error, &report) == quillora::StreamBuffer::Cut::kPacket) {
        const quillora::Packet p2 = quillora::DecodePacket(bytes);
        if (p2.MessageCode == 2) index = p2.Int(1);
      }
    }
    close(fd);
    if (index >= 2) {
      usleep(300'000);
      return server;
    }
  }
  kill(server, SIGKILL);
  waitpid(server, nullptr, 0);
  return -1;
}

std::string SiblingProgram() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string self = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  return self.substr(0, self.rfind('/') + 1) + "quillora";
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  if (argc >= 3 && std::strcmp(argv[1], "--serve") == 0)
    return Serve(argc, argv, std::atoi(argv[2]));
  if (argc >= 4 && std::strcmp(argv[1], "--serve-program") == 0)
    return ServeProgram(argc, argv, std::atoi(argv[2]), argv[3]);

  Load load;
  pid_t server_pid_arg = -1;
  std::string program = SiblingProgram();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const auto is = [&](const char* name) { return std::strcmp(argv[i], name) == 0; };
    if (is("--rate") && i + 1 < argc) {
      load.rate = std::atoi(argv[++i]);
    } else if (is("--server-pid") && i + 1 < argc) {
      server_pid_arg = std::atoi(argv[++i]);
    } else if (is("--seconds") && i + 1 < argc) {
      load.seconds = std::atoi(argv[++i]);
    } else if (is("--program") && i + 1 < argc) {
      program = argv[++i];
    } else if (is("--flood")) {
      load.flood = true;
    } else if (is("--stall")) {
      load.stall = true;
    } else if (is("--file") && i + 1 < argc) {
      load.file_bytes = std::atoll(argv[++i]);
    } else if (is("--address") && i + 1 < argc) {
      load.address = argv[++i];
    } else if (is("--file-rate") && i + 1 < argc) {
      load.file_rate = std::atoi(argv[++i]);
    } else {
      args.emplace_back(argv[i]);
    }
  }
  const bool known =
      !args.empty() && (args[0] == "quillora" || args[0] == "program" || args[0] == "window" ||
                        ((args[0] == "irc" || args[0] == "at") && args.size() >= 2));
  if (!known || load.rate <= 0 || load.seconds <= 0 || load.file_rate < 0) {
    std::fprintf(stderr,
                 "usage: relay_bench quillora|program [N...] | irc PORT [N...] [--rate R] "
                 "[--seconds S] [--flood] [--stall] [--file BYTES] [--file-rate KB]\n");
    return 2;
  }
  const Kind kind = args[0] == "irc" ? Kind::kIrc : Kind::kQuillora;
  const char* label = args[0] == "irc"       ? "irc"
                      : args[0] == "at"      ? "at"
                      : args[0] == "program" ? "program"
                      : args[0] == "window"  ? "window"
                                             : "bare";
  size_t first_count = 1;
  int port = 0;
  if (kind == Kind::kIrc || args[0] == "at") {
    port = std::atoi(args[1].c_str());
    first_count = 2;
  }
  std::vector<int> counts;
  for (size_t i = first_count; i < args.size(); ++i) counts.push_back(std::atoi(args[i].c_str()));
  if (counts.empty()) counts = {8, 32};

  bool ok = true;
  for (int n : counts) {
    load.chatters = n;
    pid_t server = -1;
    QTemporaryDir home;
    if (args[0] == "quillora") {
      // A fresh server per run, so indexes and memory start from the same place.
      port = FreePort();
      server = SpawnBare(argv[0], port);
    } else if (args[0] == "program") {
      port = FreePort();
      server = SpawnProgram(program, home.path().toStdString(), port);
    } else if (args[0] == "window") {
      port = FreePort();
      server = SpawnBare(argv[0], port, (home.path() + QStringLiteral("/lag")).toStdString());
    } else {
      // ngIRCd's registration of many clients at once takes a moment between runs.
      usleep(500'000);
    }
    const bool ours = kind == Kind::kQuillora && args[0] != "at";
    if (ours && server <= 0) {
      std::fprintf(stderr, "the server did not start\n");
      return 1;
    }
    ok = RunLoad(kind, label, port, load, ours ? server : server_pid_arg) && ok;
    if (args[0] == "window") {
      std::ifstream lag((home.path() + QStringLiteral("/lag")).toStdString());
      long worst = 0;
      lag >> worst;
      std::printf("window: worst lateness of a 50 ms timer in the host's event loop %ld ms\n",
                  worst);
      std::fflush(stdout);
    }
    if (ours && server > 0) {
      kill(server, SIGTERM);
      waitpid(server, nullptr, 0);
    }
  }
  return ok ? 0 : 1;
}
