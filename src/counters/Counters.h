#pragma once

#include <QObject>
#include <QString>
#include <QVector>
#include <cstdint>

#include "net/AnswerQueue.h"

namespace quillora {

class Dispatcher;
class Instance;
class Router;
struct Packet;

// Parses what the user typed into a value box: a number, with full-width digits and signs
// allowed, rounded half to even to a whole number. False when the text is not a number or the
// number lies outside the counters' range.
bool ParseCounterValue(const QString& text, int32_t* value);

// Shared and personal counters of one program. Shared counters have the elements 0..255 and
// are kept equal on every participant through the counter messages; personal counters have the
// elements 256 and up and never leave this program. Step buttons are numbered 4n..4n+3 for the
// counter of element n. The server answers repair requests from this program's own copy.
class Counters : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPersonalBase = 256;  // element of the first personal counter
  static constexpr int kMaxShared = 256;     // shared elements 0..255
  static constexpr int kMaxPersonal = 256;   // personal elements 256..511
  static constexpr int kSteps[4] = {-10, -1, 1, 10};
  // Values travel as 32-bit sign-and-magnitude integers, which have no -2147483648.
  static constexpr int32_t kMaxValue = 2147483647;
  static constexpr int32_t kMinValue = -kMaxValue;

  struct Counter {
    QString caption;
    int32_t value = 0;
  };

  Counters(Instance& instance, Router& router, QObject* parent = nullptr);

  // Registers the server's repair handler (709) and the client's update handler (711-714).
  void RegisterHandlers(Dispatcher& dispatcher);

  // Highest shared element and the number of personal counters beyond the first.
  int SharedMax() const { return shared_.size() - 1; }
  int PersonalMax() const { return personal_.size() - 1; }
  static bool IsShared(int element) { return element >= 0 && element < kPersonalBase; }
  // The counter of an element, or nullptr when it does not exist.
  const Counter* At(int element) const;

  // Adds the next shared (kind 0) or personal (any other kind) counter with its default
  // caption and the value 0; a shared counter added by the user is announced. Returns its
  // element, or -1 when that kind is full.
  int AddCount(int kind, bool user_action);

  // Step button 4n + k: the value moves by -10, -1, +1 or +10 (stopping at the range's ends);
  // a shared counter's new value is announced. False for a button of no counter.
  bool Step(int button);
  // The user entered a value; a shared counter's value is announced.
  bool SetValue(int element, int32_t value);
  // The user renamed a counter; an empty caption is ignored. A shared counter's caption is
  // announced.
  bool Rename(int element, const QString& caption);
  // Asks the server for its shared counters (a client only; the server has the reference copy).
  void RequestRepair();
  // The server's answer to such a request is still on its way to `asker`.
  bool AnswerPending(int asker) const { return answers_.HasPending(asker); }
  // The server's user opened the counters: every client opens its counter window too.
  void AnnounceOpened();

  // The handlers (public for tests; errors are reported, never thrown).
  void HandleServer(int socket, const Packet& p);
  void HandleClient(const Packet& p);

  // Default captions: "共有カウンター" / "個人用カウンター" and a full-width number.
  static QString SharedCaption(int element);
  static QString PersonalCaption(int number);

 signals:
  void counterAdded(int element);
  // Caption or value of a counter changed.
  void counterChanged(int element);

 private:
  friend class CounterState;  // describes and restores the shared counters for the table file

  Counter* Find(int element);
  void Send(const Packet& p);
  void ApplyClient(const Packet& p);

  Instance& instance_;
  Router& router_;
  QVector<Counter> shared_;    // element n
  QVector<Counter> personal_;  // element 256 + m
  AnswerQueue answers_;        // the server's answers to 709, at the pace of the askers' sockets
};

}  // namespace quillora
