#include "counters/Counters.h"

#include <cmath>

#include "core/Instance.h"
#include "net/Dispatcher.h"
#include "net/MessageCodes.h"
#include "net/Reported.h"
#include "net/Router.h"
#include "net/ToolAnnouncer.h"
#include "text/Width.h"

namespace quillora {

namespace {

const QString kServerTag = QStringLiteral("UCnt_Serv");
const QString kClientTag = QStringLiteral("UCnt_Clnt");
const QString kWindowTag = QStringLiteral("frmCount");

constexpr int16_t kSubCode = 1;

int32_t Clamp(int64_t v) {
  if (v > Counters::kMaxValue) return Counters::kMaxValue;
  if (v < Counters::kMinValue) return Counters::kMinValue;
  return static_cast<int32_t>(v);
}

}  // namespace

bool ParseCounterValue(const QString& text, int32_t* value) {
  double number = 0;
  if (!ParseNumberText(ToHalfWidth(text).trimmed(), &number)) return false;
  const double whole = std::nearbyint(number);  // half to even, like every other conversion
  if (whole < Counters::kMinValue || whole > Counters::kMaxValue) return false;
  *value = static_cast<int32_t>(whole);
  return true;
}

Counters::Counters(Instance& instance, Router& router, QObject* parent)
    : QObject(parent), instance_(instance), router_(router), answers_(router, kServerTag) {
  shared_.push_back({SharedCaption(0), 0});
  personal_.push_back({PersonalCaption(0), 0});
}

void Counters::RegisterHandlers(Dispatcher& dispatcher) {
  dispatcher.RegisterServerHandler(
      msg::kCounterRequest, msg::kCounterRequest,
      [this](int socket, const Packet& p) { HandleServer(socket, p); });
  dispatcher.RegisterClientHandler(msg::kCounterSet, msg::kCounterNoOp,
                                   [this](const Packet& p) { HandleClient(p); });
}

QString Counters::SharedCaption(int element) {
  return QStringLiteral("共有カウンター") + ToFullWidth(QString::number(element + 1));
}

QString Counters::PersonalCaption(int number) {
  return QStringLiteral("個人用カウンター") + ToFullWidth(QString::number(number + 1));
}

const Counters::Counter* Counters::At(int element) const {
  return const_cast<Counters*>(this)->Find(element);
}

Counters::Counter* Counters::Find(int element) {
  if (element >= 0 && element < shared_.size()) return &shared_[element];
  const int m = element - kPersonalBase;
  if (m >= 0 && m < personal_.size()) return &personal_[m];
  return nullptr;
}

int Counters::AddCount(int kind, bool user_action) {
  int element;
  if (kind == 0) {
    if (shared_.size() >= kMaxShared) return -1;
    element = shared_.size();
    shared_.push_back({SharedCaption(element), 0});
  } else {
    if (personal_.size() >= kMaxPersonal) return -1;
    element = kPersonalBase + personal_.size();
    personal_.push_back({PersonalCaption(personal_.size()), 0});
  }
  emit counterAdded(element);
  if (kind == 0 && user_action) {
    Packet p(msg::kCounterAdded, kSubCode, instance_.OwnIndex, 0);
    p.Add(int32_t{element}).Add(shared_[element].caption).Add(int32_t{0});
    Send(p);
  }
  return element;
}

bool Counters::Step(int button) {
  if (button < 0) return false;
  const int element = button / 4;
  Counter* c = Find(element);
  if (!c) return false;
  c->value = Clamp(int64_t{c->value} + kSteps[button % 4]);
  emit counterChanged(element);
  if (IsShared(element)) {
    Packet p(msg::kCounterValue, kSubCode, instance_.OwnIndex, 0);
    p.Add(int32_t{element}).Add(c->value);
    Send(p);
  }
  return true;
}

bool Counters::SetValue(int element, int32_t value) {
  Counter* c = Find(element);
  if (!c) return false;
  c->value = value;
  emit counterChanged(element);
  if (IsShared(element)) {
    Packet p(msg::kCounterValue, kSubCode, instance_.OwnIndex, 0);
    p.Add(static_cast<int16_t>(element)).Add(value);
    Send(p);
  }
  return true;
}

bool Counters::Rename(int element, const QString& caption) {
  Counter* c = Find(element);
  if (!c || caption.isEmpty()) return false;
  c->caption = caption;
  emit counterChanged(element);
  if (IsShared(element)) {
    Packet p(msg::kCounterCaption, kSubCode, instance_.OwnIndex, 0);
    p.Add(static_cast<int16_t>(element)).Add(caption);
    Send(p);
  }
  return true;
}

void Counters::RequestRepair() {
  if (instance_.SessionMode != ModeClient) return;
  Send(Packet(msg::kCounterRequest, kSubCode, instance_.OwnIndex, 0));
}

void Counters::AnnounceOpened() {
  ToolAnnouncer::Announce(instance_, router_, msg::kToolCounters, 1, kWindowTag);
}

void Counters::Send(const Packet& p) {
  if (!instance_.session_state().Chatting()) return;
  router_.Send(RouteServer, p, kWindowTag);
}

void Counters::HandleServer(int socket, const Packet& p) {
  RunReported(instance_, kServerTag, [&] {
    if (p.MessageCode != msg::kCounterRequest) return;
    // The asker is the connection the request came in on. Asking again while the answer is on
    // its way gets that same answer: each counter goes with its value of the moment it leaves,
    // and later changes reach the asker as everyone's do.
    if (socket < 1 || socket > instance_.SocketCount || answers_.HasPending(socket)) return;
    for (int i = 0; i < shared_.size(); ++i) {
      answers_.Push(socket, [this, i]() -> std::optional<Packet> {
        if (i >= shared_.size()) return std::nullopt;
        Packet reply(msg::kCounterSet, kSubCode, instance_.OwnIndex, 0);
        reply.Add(int32_t{i}).Add(shared_[i].caption).Add(QString::number(shared_[i].value));
        return reply;
      });
    }
  });
}

void Counters::HandleClient(const Packet& p) {
  RunReported(instance_, kClientTag, [&] { ApplyClient(p); });
}

void Counters::ApplyClient(const Packet& p) {
  if (p.MessageCode < msg::kCounterSet || p.MessageCode > msg::kCounterNoOp) return;
  const int32_t n = p.Int(1);
  // Only shared elements travel; anything else would overrun the personal counters.
  if (!IsShared(n)) throw SubscriptError();
  while (SharedMax() < n) AddCount(0, false);
  Counter& c = shared_[n];
  switch (p.MessageCode) {
    case msg::kCounterSet: {
      const QString caption = p.Text(2);
      const int32_t value = p.Int(3);
      c.caption = caption;
      c.value = value;
      break;
    }
    case msg::kCounterSetValue:
      c.value = p.Int(2);
      break;
    case msg::kCounterSetCaption:
      c.caption = p.Text(2);
      break;
    default:
      return;
  }
  emit counterChanged(n);
}

}  // namespace quillora
