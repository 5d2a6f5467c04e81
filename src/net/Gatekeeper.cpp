#include "net/Gatekeeper.h"

#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <iterator>

namespace quillora {

namespace {
constexpr qint64 kMinute = 60000;
// Addresses remembered for their rates at most; a scan from many addresses must not grow us.
constexpr size_t kRateEntries = 4096;
}  // namespace

Gatekeeper::Gatekeeper() { clock_.start(); }

void Gatekeeper::Forget(std::deque<qint64>& times, qint64 now, qint64 window) {
  while (!times.empty() && now - times.front() >= window) times.pop_front();
}

void Gatekeeper::Expire() {
  const qint64 now = clock_.elapsed();
  for (auto it = refused_.begin(); it != refused_.end();) {
    it = (it->second.until >= 0 && it->second.until <= now) ? refused_.erase(it) : std::next(it);
  }
  for (auto it = flooding_until_.begin(); it != flooding_until_.end();) {
    it = it->second <= now ? flooding_until_.erase(it) : std::next(it);
  }
  for (auto* table : {&failures_, &connections_}) {
    for (auto it = table->begin(); it != table->end();) {
      Forget(it->second, now, kMinute);
      it = it->second.empty() ? table->erase(it) : std::next(it);
    }
  }
}

Gatekeeper::Refusal Gatekeeper::OnConnection(const QString& address) {
  Expire();
  const qint64 now = clock_.elapsed();
  if (const auto it = refused_.find(address); it != refused_.end()) {
    return it->second.until < 0 ? Refusal::kBanned : Refusal::kKickedRecently;
  }
  if (flooding_until_.count(address)) return Refusal::kTooFast;
  if (connections_.size() < kRateEntries || connections_.count(address)) {
    std::deque<qint64>& times = connections_[address];
    times.push_back(now);
    if (static_cast<int>(times.size()) > limits_.connections_per_minute) {
      times.clear();
      flooding_until_[address] = now + limits_.flood_refusal_ms;
      return Refusal::kTooFast;
    }
  }
  if (const auto it = failures_.find(address);
      it != failures_.end() && static_cast<int>(it->second.size()) >= limits_.failures_per_minute) {
    return Refusal::kTooManyTries;
  }
  return Refusal::kNone;
}

void Gatekeeper::RecordFailure(const QString& address) {
  Expire();
  if (failures_.size() >= kRateEntries && !failures_.count(address)) return;
  failures_[address].push_back(clock_.elapsed());
}

QByteArray Gatekeeper::NewNonce() {
  QByteArray nonce(kNonceSize, Qt::Uninitialized);
  QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(nonce.data()),
                                        kNonceSize / sizeof(quint32));
  return nonce;
}

QByteArray Gatekeeper::Answer(const QString& word, const QByteArray& nonce) {
  return QMessageAuthenticationCode::hash(nonce, word.toUtf8(), QCryptographicHash::Sha256);
}

bool Gatekeeper::Verify(const QByteArray& nonce, const QByteArray& answer) const {
  if (nonce.size() != kNonceSize) return false;
  const QByteArray expected = Answer(password_, nonce);
  if (answer.size() != expected.size()) return false;
  unsigned char diff = 0;
  for (qsizetype i = 0; i < expected.size(); ++i) {
    diff |= static_cast<unsigned char>(expected[i] ^ answer[i]);
  }
  return diff == 0;
}

void Gatekeeper::Kick(const QString& address, const QString& handle) {
  // A kick never shortens a ban.
  const auto it = refused_.find(address);
  if (it != refused_.end() && it->second.until < 0) return;
  refused_[address] = Entry{handle, clock_.elapsed() + limits_.kick_ms};
}

void Gatekeeper::BanAddress(const QString& address, const QString& handle) {
  refused_[address] = Entry{handle, -1};
}

bool Gatekeeper::Lift(const QString& address) {
  failures_.erase(address);
  return refused_.erase(address) > 0;
}

std::vector<Gatekeeper::Ban> Gatekeeper::Bans() const {
  const qint64 now = clock_.elapsed();
  std::vector<Ban> out;
  for (const auto& [address, e] : refused_) {
    if (e.until >= 0 && e.until <= now) continue;
    out.push_back({address, e.handle, e.until < 0 ? -1 : e.until - now});
  }
  return out;
}

void Gatekeeper::Reset() {
  refused_.clear();
  failures_.clear();
  connections_.clear();
  flooding_until_.clear();
}

QString Gatekeeper::RefusalText(Refusal refusal) {
  switch (refusal) {
    case Refusal::kWrongWord:
      return QStringLiteral("合言葉が違います");
    case Refusal::kWordRequired:
      return QStringLiteral("ホストが合言葉を求めています");
    case Refusal::kKicked:
      return QStringLiteral("ホストにより退室させられました");
    case Refusal::kBanned:
      return QStringLiteral("ホストにより締め出されています");
    case Refusal::kKickedRecently:
      return QStringLiteral("退室させられたため、しばらく参加できません");
    case Refusal::kTooManyTries:
      return QStringLiteral("合言葉の誤りが続いたため、しばらく接続できません");
    case Refusal::kTooFast:
      return QStringLiteral("接続が多すぎるため、しばらく接続できません");
    case Refusal::kNone:
      break;
  }
  return QStringLiteral("ホストに接続を断られました");
}

}  // namespace quillora
