#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <deque>
#include <map>
#include <vector>

namespace quillora {

// Who may come in: the session's password and the proof of it, addresses that were sent away
// (kicked for a while or banned while this server runs), addresses that guess wrong too often
// and addresses that open connections faster than a person could. It decides; the session acts.
class Gatekeeper {
 public:
  // Why a connection is turned away at the door (the refusal's sub-code on the wire).
  enum class Refusal {
    kNone = 0,
    kWrongWord = 1,       // the answer did not prove the password
    kWordRequired = 2,    // the host asks for a password and none was given
    kKicked = 3,          // removed just now by the host
    kBanned = 4,          // refused while this server runs
    kKickedRecently = 5,  // removed a short while ago; may come back later
    kTooManyTries = 6,    // too many wrong answers from this address
    kTooFast = 7,         // connections from this address come too fast
  };

  struct Limits {
    int failures_per_minute = 5;      // wrong answers one address may give in a minute
    int connections_per_minute = 40;  // connections one address may open in a minute
    int flood_refusal_ms = 60000;     // how long such an address is then refused
    int kick_ms = 10 * 60 * 1000;     // how long a kicked address is refused
  };

  struct Ban {
    QString address;
    QString handle;
    qint64 remaining_ms;  // -1: while this server runs
  };

  static constexpr int kNonceSize = 32;

  Gatekeeper();

  void SetPassword(const QString& word) { password_ = word; }
  const QString& Password() const { return password_; }
  bool HasPassword() const { return !password_.isEmpty(); }
  void SetLimits(const Limits& limits) { limits_ = limits; }
  const Limits& limits() const { return limits_; }

  // A new connection from `address`: kNone lets it in (to the handshake), anything else says
  // why it is closed at once. Every call counts towards the address's connection rate.
  Refusal OnConnection(const QString& address);
  // A wrong answer from `address`.
  void RecordFailure(const QString& address);

  // A fresh random challenge.
  static QByteArray NewNonce();
  // The proof a client sends: HMAC-SHA256 of the nonce under the word.
  static QByteArray Answer(const QString& word, const QByteArray& nonce);
  // True when `answer` proves the password for `nonce`; compares in constant time.
  bool Verify(const QByteArray& nonce, const QByteArray& answer) const;

  void Kick(const QString& address, const QString& handle);
  void BanAddress(const QString& address, const QString& handle);
  // Lifts a kick or a ban; false when the address was not refused.
  bool Lift(const QString& address);
  std::vector<Ban> Bans() const;

  // A new server run: nobody is refused any more.
  void Reset();

  static QString RefusalText(Refusal refusal);

 private:
  struct Entry {
    QString handle;
    qint64 until = -1;  // elapsed ms; -1 for a ban
  };
  static void Forget(std::deque<qint64>& times, qint64 now, qint64 window);
  void Expire();

  QString password_;
  Limits limits_;
  QElapsedTimer clock_;
  std::map<QString, Entry> refused_;
  std::map<QString, std::deque<qint64>> failures_;
  std::map<QString, std::deque<qint64>> connections_;
  std::map<QString, qint64> flooding_until_;
};

}  // namespace quillora
