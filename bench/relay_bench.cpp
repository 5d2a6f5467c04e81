// Relay benchmark: N raw clients each send short chat messages at a fixed rate through a relay
// server and measure how many deliveries arrive per second and how long they take.
//
//   relay_bench --serve PORT                 run a Quillora session server (child process)
//   relay_bench quillora [N...]              start that server and load it with N clients
//   relay_bench irc PORT [N...]              load an IRC server already listening on PORT
// Options: --rate R (messages per second per client, default 50), --seconds S (default 5),
// --server-pid PID (the IRC server's process, for its resident memory).
//
// The clients live in this process on one poll() loop; the server runs in its own process, so
// its resident memory is its own. Latency is measured from the send time written into each
// message to its arrival at every receiver, on this process's monotonic clock.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/Instance.h"
#include "core/ChatSink.h"
#include "chat/Recipients.h"
#include "net/PacketCodec.h"
#include "net/Session.h"
#include "net/StreamBuffer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point kStart = Clock::now();
int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - kStart).count();
}

// --- the server side -------------------------------------------------------------------------

class NullSink : public quillora::ChatSink {
 public:
  void AppendChatLine(const QString&, int, const QString&, const QString&, uint32_t) override {}
};

int Serve(int argc, char** argv, int port) {
  QCoreApplication app(argc, argv);
  QTemporaryDir home;
  quillora::Instance instance(home.path(), 1);
  instance.OwnHandle = QStringLiteral("server");
  NullSink sink;
  quillora::Recipients recipients;
  quillora::Session session(instance, sink, recipients);
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

// --- the clients -----------------------------------------------------------------------------

enum class Kind { kQuillora, kIrc };

struct Client {
  int fd = -1;
  int id = 0;
  std::string in;
  std::string out;
  bool ready = false;  // joined and listed
  quillora::StreamBuffer stream;
  int64_t next_send = 0;
  int64_t seq = 0;
};

struct Stats {
  std::vector<int64_t> latencies;
  int64_t sent = 0;
  int64_t delivered = 0;
};

int ConnectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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
  std::string s =
      std::to_string(c.id) + "," + std::to_string(c.seq) + "," + std::to_string(now) + ",";
  if (static_cast<int>(s.size()) < width) s.append(static_cast<size_t>(width - s.size()), 'x');
  return s;
}

void Record(Stats& stats, const std::string& payload, int64_t now) {
  const size_t a = payload.find(',');
  const size_t b = payload.find(',', a + 1);
  const size_t c = payload.find(',', b + 1);
  if (a == std::string::npos || b == std::string::npos || c == std::string::npos) return;
  stats.latencies.push_back(now - std::stoll(payload.substr(b + 1, c - b - 1)));
  ++stats.delivered;
}

// Quillora: 204 hello, 2 index, 201 join; ready once our own announcement (code 1) arrives.
void QuilloraInput(Client& c, Stats& stats, bool measuring) {
  c.stream.Append(QByteArrayView(c.in.data(), static_cast<qsizetype>(c.in.size())));
  c.in.clear();
  QByteArray bytes;
  quillora::ProtocolError error{0, {}};
  bool report = false;
  while (c.stream.Next(&bytes, &error, &report) == quillora::StreamBuffer::Cut::kPacket) {
    const quillora::Packet p = quillora::DecodePacket(bytes);
    if (p.MessageCode == 2) {
      c.id = p.Int(1);
      quillora::Packet join(201, 0, static_cast<int16_t>(c.id), 1);
      join.Add(QStringLiteral("bench%1").arg(c.id)).Add(int32_t{0});
      c.out += Encode(join);
    } else if (p.MessageCode == 1 && p.Int(1) == c.id) {
      c.ready = true;
    } else if (p.MessageCode == 101 && measuring) {
      Record(stats, p.Text(1).toStdString(), NowNs());
    }
  }
}

void QuilloraSend(Client& c, int64_t now) {
  quillora::Packet p(301, 1, static_cast<int16_t>(c.id), 0);
  p.Add(QString::fromStdString(Payload(c, now, 40)));  // 20 + 2 * 40 = 100 bytes
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
      Record(stats, line.substr(line.find(" :", 1) + 2), NowNs());
    }
  }
  c.in.erase(0, start);
}

void IrcSend(Client& c, int64_t now) {
  // "PRIVMSG #bench :" + 82 + CRLF = 100 bytes.
  c.out += "PRIVMSG #bench :" + Payload(c, now, 82) + "\r\n";
}

bool Pump(std::vector<Client>& clients, Kind kind, Stats& stats, bool measuring, int timeout_ms) {
  std::vector<pollfd> fds(clients.size());
  for (size_t i = 0; i < clients.size(); ++i) {
    fds[i] = {clients[i].fd, static_cast<short>(POLLIN | (clients[i].out.empty() ? 0 : POLLOUT)),
              0};
  }
  if (poll(fds.data(), fds.size(), timeout_ms) < 0) return false;
  char buf[65536];
  for (size_t i = 0; i < clients.size(); ++i) {
    Client& c = clients[i];
    if (fds[i].revents & (POLLERR | POLLHUP)) {
      std::fprintf(stderr, "client %zu lost its connection\n", i);
      return false;
    }
    if (fds[i].revents & POLLIN) {
      for (;;) {
        const ssize_t n = read(c.fd, buf, sizeof buf);
        if (n <= 0) {
          if (n == 0) {
            std::fprintf(stderr, "client %zu closed by the server\n", i);
            return false;
          }
          break;
        }
        c.in.append(buf, static_cast<size_t>(n));
      }
      if (kind == Kind::kQuillora) {
        QuilloraInput(c, stats, measuring);
      } else {
        IrcInput(c, stats, measuring);
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

long RssKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kb = 0;
      status >> kb;
      return kb;
    }
    status.ignore(1 << 20, '\n');
  }
  return -1;
}

bool RunLoad(Kind kind, int port, int n, int rate, int seconds, pid_t server_pid) {
  std::vector<Client> clients(static_cast<size_t>(n));
  Stats stats;
  for (int i = 0; i < n; ++i) {
    Client& c = clients[static_cast<size_t>(i)];
    c.fd = ConnectTo(port);
    if (c.fd < 0) {
      std::fprintf(stderr, "cannot connect to %d\n", port);
      return false;
    }
    c.id = i + 1;
    if (kind == Kind::kQuillora) {
      c.out = Encode(quillora::Packet(204, 0));
    } else {
      c.out = "NICK b" + std::to_string(i) + "\r\nUSER b" + std::to_string(i) + " 0 * :bench\r\n";
    }
  }
  // Join everyone, then let the announcements settle.
  const int64_t join_deadline = NowNs() + 20'000'000'000;
  while (!std::all_of(clients.begin(), clients.end(), [](const Client& c) { return c.ready; })) {
    if (NowNs() > join_deadline || !Pump(clients, kind, stats, false, 10)) {
      std::fprintf(stderr, "join failed\n");
      return false;
    }
  }
  const int64_t settle = NowNs() + 500'000'000;
  while (NowNs() < settle) Pump(clients, kind, stats, false, 10);

  const int64_t interval = 1'000'000'000 / rate;
  const int64_t begin = NowNs();
  const int64_t stop_sending = begin + int64_t{seconds} * 1'000'000'000;
  for (size_t i = 0; i < clients.size(); ++i) {
    clients[i].next_send = begin + interval * static_cast<int64_t>(i) / n;  // spread the starts
  }
  const int64_t fanout = kind == Kind::kQuillora ? n : n - 1;  // IRC does not echo the sender
  int64_t last_delivery = begin;
  for (;;) {
    const int64_t now = NowNs();
    if (now < stop_sending) {
      for (Client& c : clients) {
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
      }
    }
    const int64_t before = stats.delivered;
    if (!Pump(clients, kind, stats, true, 1)) return false;
    if (stats.delivered != before) last_delivery = NowNs();
    if (now >= stop_sending &&
        (stats.delivered >= stats.sent * fanout || NowNs() - last_delivery > 3'000'000'000)) {
      break;
    }
  }
  const double span = static_cast<double>(last_delivery - begin) / 1e9;
  const long rss = server_pid > 0 ? RssKb(server_pid) : -1;
  std::printf(
      "%-8s clients=%-3d rate=%d/s/client sent=%lld delivered=%lld/%lld (%.1f%%) "
      "deliveries/s=%.0f p50=%.2fms p99=%.2fms server_rss=%ldkB\n",
      kind == Kind::kQuillora ? "quillora" : "irc", n, rate, static_cast<long long>(stats.sent),
      static_cast<long long>(stats.delivered), static_cast<long long>(stats.sent * fanout),
      100.0 * static_cast<double>(stats.delivered) / static_cast<double>(stats.sent * fanout),
      static_cast<double>(stats.delivered) / span,
      static_cast<double>(Percentile(stats.latencies, 0.50)) / 1e6,
      static_cast<double>(Percentile(stats.latencies, 0.99)) / 1e6, rss);
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

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  if (argc >= 3 && std::strcmp(argv[1], "--serve") == 0)
    return Serve(argc, argv, std::atoi(argv[2]));

  int rate = 50;
  int seconds = 5;
  pid_t server_pid_arg = -1;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rate") == 0 && i + 1 < argc) {
      rate = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--server-pid") == 0 && i + 1 < argc) {
      server_pid_arg = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else {
      args.emplace_back(argv[i]);
    }
  }
  if (args.empty() || (args[0] != "quillora" && args[0] != "irc") ||
      (args[0] == "irc" && args.size() < 2) || rate <= 0 || seconds <= 0) {
    std::fprintf(stderr,
                 "usage: relay_bench quillora [N...] | irc PORT [N...] [--rate R] [--seconds S]\n");
    return 2;
  }
  const Kind kind = args[0] == "irc" ? Kind::kIrc : Kind::kQuillora;
  size_t first_count = 1;
  int port = 0;
  pid_t server = -1;
  if (kind == Kind::kIrc) {
    port = std::atoi(args[1].c_str());
    first_count = 2;
  }
  std::vector<int> counts;
  for (size_t i = first_count; i < args.size(); ++i) counts.push_back(std::atoi(args[i].c_str()));
  if (counts.empty()) counts = {8, 32};

  bool ok = true;
  for (int n : counts) {
    if (kind == Kind::kQuillora) {
      // A fresh server per run, so indexes and memory start from the same place.
      port = FreePort();
      const std::string port_text = std::to_string(port);
      char* child_argv[] = {argv[0], const_cast<char*>("--serve"),
                            const_cast<char*>(port_text.c_str()), nullptr};
      int pipe_fds[2];
      if (pipe(pipe_fds) != 0) return 1;
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
      posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
      const int spawned =
          posix_spawn(&server, "/proc/self/exe", &actions, nullptr, child_argv, environ);
      posix_spawn_file_actions_destroy(&actions);
      close(pipe_fds[1]);
      if (spawned != 0) {
        std::perror("posix_spawn");
        return 1;
      }
      // Wait for "ready": the server listens and its own user has joined as participant 1.
      char line[16] = {};
      const ssize_t got = read(pipe_fds[0], line, sizeof line - 1);
      close(pipe_fds[0]);
      if (got <= 0 || std::strncmp(line, "ready", 5) != 0) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
      }
    } else {
      // ngIRCd's registration of many clients at once takes a moment between runs.
      usleep(500'000);
    }
    ok = RunLoad(kind, port, n, rate, seconds, kind == Kind::kQuillora ? server : server_pid_arg) &&
         ok;
    if (server > 0) {
      kill(server, SIGTERM);
      waitpid(server, nullptr, 0);
      server = -1;
    }
  }
  return ok ? 0 : 1;
}
