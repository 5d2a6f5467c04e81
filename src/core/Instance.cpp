#include "core/Instance.h"

#include <QDir>
#include <QHostInfo>

#include "text/Width.h"

Q_LOGGING_CATEGORY(lcQuillora, "quillora")

namespace quillora {

namespace {
int PanelSlot(const QString& key) {
  if (key == QLatin1String(kPanelSysReqMes)) return 0;
  if (key == QLatin1String(kPanelCurHandle)) return 1;
  if (key == QLatin1String(kPanelCurBufNum)) return 2;
  if (key == QLatin1String(kPanelCurTime)) return 3;
  return -1;
}
}  // namespace

Instance::Instance(QString program_folder, uint64_t seed, QObject* parent)
    : QObject(parent),
      SessionMode(session_state_.mode_),
      OwnIndex(session_state_.own_index_),
      SocketCount(session_state_.socket_count_),
      ParticipantTable(session_state_.participants_),
      program_folder_(std::move(program_folder)),
      rng_(seed) {}

QString Instance::PathOf(const QString& relative) const {
  QString rel = relative;
  rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (QDir::isAbsolutePath(rel)) return QDir::cleanPath(rel);
  return QDir::cleanPath(program_folder_ + QLatin1Char('/') + rel);
}

QString Instance::HostName() const {
  if (!host_name_override_.isEmpty()) return host_name_override_;
  return QHostInfo::localHostName();
}

void Instance::SetPanel(const QString& key, const QString& text) {
  const int slot = PanelSlot(key);
  if (slot < 0) return;
  panels_[slot] = text;
  emit panelChanged(key, text);
}

QString Instance::Panel(const QString& key) const {
  const int slot = PanelSlot(key);
  return slot < 0 ? QString() : panels_[slot];
}

void Instance::ShowStatus(const QString& text) { SetPanel(QLatin1String(kPanelSysReqMes), text); }

void Instance::ReportStatus(const QString& text) {
  if (!text.isEmpty()) qCWarning(lcQuillora).noquote() << text;
  ShowStatus(text);
}

void Instance::ReportError(const QString& tag, int number, const QString& description) {
  ReportStatus(QStringLiteral("Err %1 @ %2 : %3").arg(number).arg(tag, description));
}

QString Instance::BufferLabel(int buffer) {
  return QStringLiteral("発言場") + ToFullWidth(QString::number(buffer));
}

}  // namespace quillora
