#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>

#include "net/Reachability.h"

class QThread;

namespace quillora {

class MappingBackend;

// Asks the home router to forward the listening port to this machine while it serves, by UPnP
// IGD (v1 and v2) and by NAT-PMP at the same time. Each protocol runs on a worker thread of its
// own (its library calls block for up to the timeout) and hands its answer back here by a
// queued call, so that hosting never waits for the router. Leases are renewed at half time;
// Stop() takes the mapping back. The destructor takes it back too, waiting (bounded by the
// timeouts) for the workers to finish: the program ends with its router tidy.
class PortMapper : public QObject {
  Q_OBJECT

 public:
  static constexpr int kTimeoutMs = 2000;
  static constexpr int kLeaseSeconds = 3600;

  explicit PortMapper(QObject* parent = nullptr);
  ~PortMapper() override;

  // Starts asking for `port` (a Stop() of an earlier port comes first).
  void Start(int port);
  // Removes the mapping, if any; nothing happens when not started.
  void Stop();
  bool Started() const { return port_ > 0; }

  // What is known now: how the port is open, the outside address, why it is not open.
  PortOpening Opening() const { return opening_; }
  QString Outside() const { return outside_; }
  QString Reason() const { return reason_; }

  // For tests: the lease asked for (seconds).
  void SetLeaseSeconds(int seconds) { lease_seconds_ = seconds; }

  // One backend's answer, delivered on the GUI thread.
  struct Answer {
    bool ok = false;
    QString outside;
    QString error;
    int lifetime = 0;  // seconds the router holds the mapping; 0 = until removed
  };

 signals:
  // The state above changed.
  void changed();
  // A line for the host: the port was opened, or why it was not.
  void notice(const QString& line);

 private:
  enum Backend { kUpnp = 0, kNatPmp = 1, kBackends = 2 };
  struct Slot {
    QThread* thread = nullptr;
    MappingBackend* worker = nullptr;  // lives on `thread`
    QTimer renew;
    bool answered = false;
    Answer last;
  };

  void Ask(int backend);
  void OnAnswer(int backend, int generation, const Answer& answer);
  void Settle();

  std::array<std::unique_ptr<Slot>, kBackends> slots_;
  int port_ = 0;
  int generation_ = 0;
  int lease_seconds_ = kLeaseSeconds;
  PortOpening opening_ = PortOpening::NotServing;
  QString outside_;
  QString reason_;
};

}  // namespace quillora
