#include "app/TableKeeper.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <memory>

#include "chat/ChatLog.h"
#include "core/Instance.h"
#include "core/ThreadPriority.h"
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
  thread_.setObjectName(QStringLiteral("table file"));
  worker_ = new QObject;
  worker_->moveToThread(&thread_);
  thread_.start();
}

TableKeeper::~TableKeeper() {
  // Whatever is still waiting goes in, then the file's thread closes the file and ends. This
  // is the one wait for it: the program is going.
  if (open_) Write(false);
  hurry_ = true;
  QMetaObject::invokeMethod(
      worker_,
      [this] {
        writer_.Close();
        QThread::currentThread()->quit();
      },
      Qt::QueuedConnection);
  thread_.wait();
  delete worker_;
  for (ToolState* tool : tools_) tool->SetChangeListener({});
}

void TableKeeper::OnFileThread(std::function<void(TableWriter&)> job) {
  if (++jobs_ >= kBehindJobs) hurry_ = true;
  QMetaObject::invokeMethod(
      worker_,
      [this, job = std::move(job)] {
        // The file's thread works behind the session: it runs when a core would otherwise be
        // idle and gives way the moment the relay or the window wakes. Under a flood its
        // statements take a fair part of a core, which at the usual priority came out of the
        // relay's time (others' lines waited for the scheduler, milliseconds at a time on two
        // cores). A machine at a human pace has idle cores nearly always, so the table still
        // follows within its commit interval; on one that is busy all over, the thread takes
        // the usual priority while kBehindJobs writes or more wait, so what a crash can lose
        // stays a matter of seconds.
        const bool background = !hurry_;
        if (background != in_background_) {
          SetThisThreadBackground(background);
          in_background_ = background;
        }
        job(writer_);
      },
      Qt::QueuedConnection);
}

void TableKeeper::Back(std::function<void()> done) {
  QMetaObject::invokeMethod(
      this,
      [this, done = std::move(done)] {
        if (done) done();
        if (--jobs_ > 0) return;
        hurry_ = false;
        emit idle();
      },
      Qt::QueuedConnection);
}

QVector<StateTable> TableKeeper::AllTables() const {
  QVector<StateTable> tables;
  for (ToolState* tool : tools_) tables += tool->Tables();
  return tables;
}

void TableKeeper::Schedule() {
  if (restoring_ || !open_) return;
  if (!timer_.isActive()) timer_.start();
}

void TableKeeper::OnChatLine(const QString& speaker, int kind, const QString& text,
                             const QString& indent_reference, uint32_t colour) {
  if (!open_) return;
  chat_lines_.AddChat(
      {QDateTime::currentMSecsSinceEpoch(), speaker, kind, colour, text, indent_reference});
  if (chat_lines_.ChatLines() >= kChatLinesPerWrite && jobs_ == 0 && !restoring_) {
    Write(false);
  } else {
    Schedule();
  }
}

void TableKeeper::Write(bool everything, bool asked) {
  timer_.stop();
  if (!open_ || opening_) return;
  QElapsedTimer clock;
  clock.start();
  auto batch = std::make_shared<TableBatch>(std::exchange(chat_lines_, TableBatch{}));
  for (ToolState* tool : tools_) {
    if (everything) {
      tool->DescribeAll(*batch);
    } else if (tool->HasChanges()) {
      tool->DescribeChanges(*batch);
    }
  }
  if (batch->IsEmpty() && !asked) return;
  OnFileThread([this, batch, asked](TableWriter& writer) {
    const TableWriter::WriteResult result = writer.Write(*batch);
    Back([this, result, asked] { Written(result, asked); });
  });
  last_collect_ns_ = clock.nsecsElapsed();
}

void TableKeeper::Written(const TableWriter::WriteResult& result, bool asked) {
  last_commit_ns_ = result.ns;
  ++writes_done_;
  if (result.ok) return;
  instance_.ReportError(QStringLiteral("TableFile"), 0, result.error);
  if (asked) emit saveFailed(path_);
}

void TableKeeper::Open(const QString& path) { StartOpen(path, false); }

void TableKeeper::Create(const QString& path) { StartOpen(path, true); }

void TableKeeper::StartOpen(const QString& path, bool fresh) {
  // What was collected for the old file belongs to it.
  if (open_) Write(false);
  opening_ = true;
  open_ = true;
  const int ticket = ++open_ticket_;
  OnFileThread([this, path, fresh, ticket, tables = AllTables()](TableWriter& writer) {
    auto result = std::make_shared<TableWriter::OpenResult>(writer.Open(path, tables, fresh));
    Back([this, result, ticket] {
      if (ticket == open_ticket_) Opened(*result);
    });
  });
}

void TableKeeper::Opened(const TableWriter::OpenResult& result) {
  opening_ = false;
  if (!result.opened.message.isEmpty()) chat_.SystemLine(result.opened.message);
  using O = TableStore::Outcome;
  if (result.opened.outcome == O::kRefused || result.opened.outcome == O::kFailed) {
    // The file's thread still has the table that was open before, if any.
    open_ = !path_.isEmpty();
    emit openFailed(result.path);
    return;
  }
  path_ = result.path;
  if (result.restored) {
    restoring_ = true;
    for (ToolState* tool : tools_) tool->Restore(result.snapshot);
    restoring_ = false;
    std::vector<ChatLog::EarlierLine> lines;
    lines.reserve(static_cast<size_t>(result.snapshot.chat.size()));
    for (const TableChatLine& l : result.snapshot.chat) {
      lines.push_back({l.speaker, l.kind, l.text, l.indent_reference, l.colour});
    }
    chat_.ShowEarlierLines(lines);
    chat_.SystemLine(
        lines.empty() ? QStringLiteral("卓「%1」を開きました。").arg(QFileInfo(path_).fileName())
                      : QStringLiteral("卓「%1」を開きました。ここまでの%2行は前回までの発言です。")
                            .arg(QFileInfo(path_).fileName())
                            .arg(lines.size()));
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
  RememberLast(path_);
  emit opened(path_);
}

bool TableKeeper::Save() {
  if (!open_ || opening_) return false;
  Write(false, true);
  return true;
}

void TableKeeper::Close() {
  if (!open_) return;
  Write(false);
  ++open_ticket_;  // an opening still under way is not taken into the tools
  open_ = false;
  opening_ = false;
  path_.clear();
  OnFileThread([this](TableWriter& writer) {
    writer.Close();
    Back({});
  });
}

bool TableKeeper::SaveAs(const QString& path) {
  if (!open_ || opening_) return false;
  Write(false);
  const QString target = QFileInfo(path).absoluteFilePath();
  OnFileThread([this, target, tables = AllTables()](TableWriter& writer) {
    const bool ok = writer.SaveAs(target, tables);
    Back([this, ok, target] {
      if (!ok) {
        emit saveFailed(target);
        return;
      }
      path_ = target;
      RememberLast(path_);
      emit savedAs(path_);
    });
  });
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
