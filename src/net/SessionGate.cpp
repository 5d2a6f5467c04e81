// Admission to the session: the password handshake, connections that take too long over
// joining, numbers of connections that never joined, and the host removing a participant.
#include <QTcpSocket>
#include <algorithm>

#include "core/Instance.h"
#include "net/MessageCodes.h"
#include "net/PacketCodec.h"
#include "net/Session.h"
#include "net/SocketLink.h"

namespace quillora {

namespace {

const QString kTagServ = QStringLiteral("DP_Serv");

bool AboutTheWord(Gatekeeper::Refusal refusal) {
  return refusal == Gatekeeper::Refusal::kWrongWord ||
         refusal == Gatekeeper::Refusal::kWordRequired;
}

}  // namespace

void Session::SetAdmissionTimes(const AdmissionTimes& times) {
  admission_ = times;
  const int shortest = std::min({times.hello_ms, times.handle_ms, times.answer_ms, times.stall_ms});
  gate_tick_.setInterval(std::clamp(shortest / 5, 20, 1000));
}

bool Session::Admitted(int k) const {
  return k >= 1 && k < static_cast<int>(slots_.size()) && slots_[k].admitted;
}

bool Session::Admits(int socket, int code) const {
  // Sockets the session does not hold (a dispatcher driven directly) are not its business.
  if (socket < 1 || socket >= static_cast<int>(slots_.size())) return true;
  const ServerSlot& slot = slots_[socket];
  return slot.admitted || code == msg::kHello || code == msg::kAnswer;
}

int Session::NextIndex() {
  while (!free_indexes_.empty()) {
    const int k = *free_indexes_.begin();
    free_indexes_.erase(free_indexes_.begin());
    if (k < static_cast<int>(slots_.size()) && !slots_[k].socket && !slots_[k].announced) return k;
  }
  // The index space is spent for this run.
  if (instance_.SocketCount >= index_limit_) return -1;
  return instance_.SocketCount + 1;
}

void Session::TurnAway(QTcpSocket* socket, Gatekeeper::Refusal refusal) {
  socket->setParent(this);
  // A flood gets no answer at all: closing is all it costs us.
  if (refusal == Gatekeeper::Refusal::kTooFast) {
    Retire(socket, false);
    return;
  }
  socket->write(EncodePacket(Packet(msg::kRefused, static_cast<int16_t>(refusal))));
  Retire(socket, true);
}

void Session::SendAway(int k, Gatekeeper::Refusal refusal) {
  ServerSlot& slot = slots_[k];
  if (!slot.socket) return;
  if (slot.link) {
    Packet refused(msg::kRefused, static_cast<int16_t>(refusal), 0, static_cast<int16_t>(k));
    slot.link->Write(EncodePacket(refused));
  }
  CloseServerSocket(k, true);
}

void Session::Admit(int k) {
  ServerSlot& slot = slots_[k];
  slot.admitted = true;
  slot.nonce.clear();
  router_.SetServerLink(k, slot.link.get());
  OnHello(k);  // now the index and the version, as in an open session
}

void Session::OnAnswer(int socket, const Packet& p) {
  if (socket < 1 || socket >= static_cast<int>(slots_.size())) return;
  ServerSlot& slot = slots_[socket];
  if (slot.admitted || slot.nonce.isEmpty() || !slot.socket) return;
  if (gate_.Verify(slot.nonce, p.BinData)) {
    Admit(socket);
    return;
  }
  gate_.RecordFailure(slot.address);
  SendAway(socket, Gatekeeper::Refusal::kWrongWord);
}

void Session::NoteInput(int k, qsizetype expected) {
  if (k < 1 || k >= static_cast<int>(slots_.size()) || !slots_[k].socket) return;
  ServerSlot& slot = slots_[k];
  const qsizetype left = dispatcher_->BufferedServerBytes(k);
  if (left == 0) {
    slot.partial_since = -1;
  } else if (left < expected || slot.partial_since < 0) {
    // Packets were completed and a new one begun, or the first one began now.
    slot.partial_since = gate_clock_.elapsed();
  }
}

void Session::OnGateTick() {
  const qint64 now = gate_clock_.elapsed();
  const AdmissionTimes& t = admission_;
  // Participant 1 is the server's own user: it is in by construction.
  for (int k = 2; k < static_cast<int>(slots_.size()); ++k) {
    const ServerSlot& slot = slots_[k];
    if (!slot.socket) continue;
    QString why;
    if (slot.hello_at < 0 && now - slot.accepted_at > t.hello_ms) {
      why = QStringLiteral("接続%1は挨拶がないため切断しました");
    } else if (!slot.admitted && slot.challenged_at >= 0 &&
               now - slot.challenged_at > t.answer_ms) {
      why = QStringLiteral("接続%1は合言葉に答えないため切断しました");
    } else if (slot.hello_at >= 0 && slot.joined_at < 0 && now - slot.hello_at > t.handle_ms) {
      why = QStringLiteral("接続%1は参加しないため切断しました");
    } else if (slot.partial_since >= 0 && now - slot.partial_since > t.stall_ms) {
      why = QStringLiteral("接続%1は送信が途中で止まったため切断しました");
    }
    if (why.isEmpty()) continue;
    const Participant* row = instance_.ParticipantAt(k);
    if (row && row->Present) {
      DropServerSocket(k, why.arg(k));
    } else {
      CloseServerSocket(k);
    }
  }
}

bool Session::Kick(int k) { return Remove(k, false); }

bool Session::Ban(int k) { return Remove(k, true); }

bool Session::Remove(int k, bool ban) {
  if (instance_.SessionMode != ModeServer || k <= 1 || k >= static_cast<int>(slots_.size()) ||
      !slots_[k].socket) {
    return false;
  }
  const Participant* row = instance_.ParticipantAt(k);
  const bool joined = row && row->Present;
  const QString handle = row ? row->Handle : QString();
  if (ban) {
    gate_.BanAddress(slots_[k].address, handle);
  } else {
    gate_.Kick(slots_[k].address, handle);
  }
  SendAway(k, ban ? Gatekeeper::Refusal::kBanned : Gatekeeper::Refusal::kKicked);
  if (joined) {
    // Everybody learns why before the usual departure.
    Packet removed(msg::kRemoved, ban ? msg::kRemovedBanned : msg::kRemovedKicked,
                   instance_.OwnIndex, 0);
    removed.Add(static_cast<int16_t>(k));
    router_.Send(RouteAll, removed, kTagServ);
    AnnounceGone(k);
  }
  return true;
}

// --- client side -----------------------------------------------------------------------------

void Session::OnChallenge(const Packet& p) {
  // Only a connection on its way in is asked.
  if (!client_ || instance_.SessionMode == ModeClient) return;
  // Serving, the own user knows the word it asks for.
  QString word;
  if (listener_) {
    word = gate_.Password();
  } else if (const auto it = run_words_.find(typed_host_); it != run_words_.end()) {
    word = it->second;
  } else if (password_lookup_) {
    word = password_lookup_(typed_host_);
  }
  if (word.isEmpty()) {
    Refused(Gatekeeper::Refusal::kWordRequired);
    return;
  }
  Packet answer(msg::kAnswer, 0, instance_.OwnIndex, 0);
  answer.SetBin(Gatekeeper::Answer(word, p.BinData));
  router_.SendPacket(RouteServer, answer);
}

void Session::OnRefused(const Packet& p) {
  const int why = p.SubCode;
  Refused(why >= 1 && why <= 7 ? static_cast<Gatekeeper::Refusal>(why)
                               : Gatekeeper::Refusal::kNone);
}

void Session::OnRemoved(const Packet& p) {
  const int16_t i = static_cast<int16_t>(p.Int(1));
  const Participant* row = instance_.ParticipantAt(i);
  if (!row) throw SubscriptError();
  Line(row->Handle + (p.SubCode == msg::kRemovedBanned
                          ? QStringLiteral("さんはホストにより締め出されました")
                          : QStringLiteral("さんはホストにより退室させられました")));
}

void Session::Refused(Gatekeeper::Refusal refusal) {
  if (!client_) return;
  const QString reason = Gatekeeper::RefusalText(refusal);
  const QString host = typed_host_;
  if (listener_) StopServing(false);
  CloseClient(false);
  EnterNoMode(reason);
  emit refusedByHost(reason);
  if (AboutTheWord(refusal)) emit passwordWanted(host, reason);
}

}  // namespace quillora
