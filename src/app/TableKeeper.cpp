#include "app/TableKeeper.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "chat/ChatLog.h"
#include "core/Instance.h"
#include "text/IniFile.h"

namespace quillora {

TableKeeper::TableKeeper(Instance& instance, ChatLog& chat, QVector<ToolState*> tools,
                         QObject* parent)
    : QObject(parent), instance_(instance), chat_(chat), tools_(std::move(tools)) {
  timer_.setSingleShot(true);
  timer_.setInterval(kCommitMs);
  connect(&timer_, &QTimer::timeout, this, [this] { Write(false); });
  for (ToolState* tool : tools_) tool->SetChangeListener([this] { Schedule(); });
  connect(&chat, &ChatLog::lineAccepted, this, &TableKeeper::OnChatLine);
}

TableKeeper::~TableKeeper() {
  // Whatever is still waiting goes in before the file closes.
  if (store_.IsOpen()) Write(false);
  for (ToolState* tool : tools_) tool->SetChangeListener({});
}

void TableKeeper::Schedule() {
  if (restoring_ || !store_.IsOpen()) return;
  if (!timer_.isActive()) timer_.start();
}

void TableKeeper::OnChatLine(const QString& speaker, int kind, const QString& text,
                             uint32_t colour) {
  if (!store_.IsOpen()) return;
  chat_lines_.append({QDateTime::currentMSecsSinceEpoch(), speaker, kind, colour, text});
  Schedule();
}

bool TableKeeper::Write(bool everything) {
  timer_.stop();
  if (!store_.IsOpen()) return false;
  QElapsedTimer clock;
  clock.start();
  if (!store_.Begin()) return false;
  for (ToolState* tool : tools_) {
    if (everything) {
      tool->DescribeAll(store_);
    } else if (tool->HasChanges()) {
      tool->DescribeChanges(store_);
    }
  }
  for (const ChatLine& line : std::as_const(chat_lines_)) {
    store_.AppendChatLine(++chat_seq_, line.msecs, line.speaker, line.kind, line.colour, line.text);
  }
  chat_lines_.clear();
  const bool ok = store_.Commit();
  const QString error = store_.TakeError();
  if (!ok || !error.isEmpty()) {
    instance_.ReportError(QStringLiteral("TableFile"), 0, error);
  }
  last_write_ns_ = clock.nsecsElapsed();
  return ok;
}

bool TableKeeper::Open(const QString& path) {
  QVector<StateTable> tables;
  for (ToolState* tool : tools_) tables += tool->Tables();
  // What was collected for the old file belongs to it.
  if (store_.IsOpen()) Write(false);
  const bool existed = QFileInfo::exists(path);
  TableStore::Opened result = store_.Open(path, tables);
  if (!result.message.isEmpty()) chat_.SystemLine(result.message);
  using O = TableStore::Outcome;
  if (result.outcome == O::kRefused || result.outcome == O::kFailed) return false;
  chat_seq_ = store_.LastChatSeq();
  chat_lines_.clear();
  if (existed && result.outcome != O::kCreated) {
    restoring_ = true;
    for (ToolState* tool : tools_) tool->Restore(store_);
    restoring_ = false;
    // Players already at the table get the opened state as late joiners do.
    if (instance_.SessionMode == ModeServer) {
      QVector<int> players;
      for (const Participant& row : instance_.ParticipantTable) {
        if (row.Present && row.Index != instance_.OwnIndex) players << row.Index;
      }
      for (ToolState* tool : tools_) tool->HandOut(players);
    }
  } else {
    Write(true);
  }
  RememberLast(store_.Path());
  emit opened(store_.Path());
  return true;
}

bool TableKeeper::Save() { return Write(false); }

bool TableKeeper::Create(const QString& path) {
  if (store_.IsOpen()) Close();
  for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(path + QLatin1String(suffix));
  return Open(path);
}

void TableKeeper::Close() {
  if (!store_.IsOpen()) return;
  Write(false);
  store_.Close();
}

bool TableKeeper::SaveAs(const QString& path) {
  if (!store_.IsOpen() || !Write(false)) return false;
  const QString target = QFileInfo(path).absoluteFilePath();
  if (target == store_.Path()) return true;
  if (!store_.CopyTo(target)) return false;
  QVector<StateTable> tables;
  for (ToolState* tool : tools_) tables += tool->Tables();
  const TableStore::Opened result = store_.Open(target, tables);
  if (!store_.IsOpen()) return false;
  chat_seq_ = store_.LastChatSeq();
  (void)result;
  RememberLast(store_.Path());
  return true;
}

QString TableKeeper::DefaultPath() const {
  IniFile ini;
  if (ini.Load(instance_.IniPath())) {
    const QString last = ini.Value(kSection, kLastKey);
    if (!last.isEmpty() && QFileInfo::exists(last)) return last;
  }
  return instance_.ProgramFolder() + QStringLiteral("/tables/") +
         QDateTime::currentDateTime().toString(QStringLiteral("'table_'yyyyMMdd-HHmmss.")) +
         kSuffix;
}

void TableKeeper::RememberLast(const QString& path) {
  IniFile ini;
  ini.Load(instance_.IniPath());
  if (ini.Value(kSection, kLastKey) == path) return;
  ini.SetValue(kSection, kLastKey, path);
  ini.Save(instance_.IniPath());
}

}  // namespace quillora
