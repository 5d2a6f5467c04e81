#pragma once

#include <QDate>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QVector>
#include <cstdint>
#include <functional>

#include "core/Random.h"
#include "core/SessionState.h"
#include "core/Settings.h"

// Status reports (errors of sockets, files and messages) also go to this logging category.
Q_DECLARE_LOGGING_CATEGORY(lcQuillora)

namespace quillora {

// Status bar panel keys of the main window.
inline constexpr const char* kPanelSysReqMes = "SysReqMes";
inline constexpr const char* kPanelCurHandle = "CurHandle";
inline constexpr const char* kPanelCurBufNum = "CurBufNum";
inline constexpr const char* kPanelCurTime = "CurTime";

// Program version, compared at join time.
inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 10;
inline constexpr int kVersionRevision = 1;

// Everything one running program shares: its folder, the live settings, the session state and
// the random generator. There is exactly one per running program (and several in one test
// process); nothing of this lives in globals.
class Instance : public QObject {
  Q_OBJECT

  // First: the read-only names below refer into it.
  SessionState session_state_;

 public:
  // program_folder: where app.ini, log/, data/ and file_Rcv/ live.
  Instance(QString program_folder, uint64_t seed, QObject* parent = nullptr);

  // --- folders and files -------------------------------------------------------------------
  const QString& ProgramFolder() const { return program_folder_; }
  // A path below the program folder; "\" in `relative` is mapped to the platform separator.
  QString PathOf(const QString& relative) const;
  QString IniPath() const { return PathOf(QStringLiteral("app.ini")); }
  QString LogFolder() const { return PathOf(QStringLiteral("log")); }

  // The machine's host name, used as the first-run handle.
  QString HostName() const;
  void SetHostNameForTesting(QString name) { host_name_override_ = std::move(name); }

  // --- process-wide state --------------------------------------------------------------------
  Settings settings;  // the live settings record
  Settings working;   // the appearance dialog's working copy

  QString OwnHandle;
  QDate LogDate = QDate::currentDate();
  QString text_log_file;  // last manual plain-text save, for this run only
  QString rtf_log_file;   // last manual rich-text save

  // The session state: written by the session only, read here under its usual names.
  SessionState& session_state() { return session_state_; }
  const SessionState& session_state() const { return session_state_; }
  const int16_t& SessionMode;
  const int16_t& OwnIndex;
  const int16_t& SocketCount;
  const QVector<Participant>& ParticipantTable;
  // The participant row for `index`, or nullptr when it is outside the table.
  const Participant* ParticipantAt(int index) const { return session_state_.ParticipantAt(index); }

  Random& Rng() { return rng_; }

  // --- status bar --------------------------------------------------------------------------
  // Sets the text of the status bar panel with the given key.
  void SetPanel(const QString& key, const QString& text);
  QString Panel(const QString& key) const;
  // The status line (panel SysReqMes), the one way model code tells the user how things go:
  // ShowStatus for progress and clearing, ReportStatus for a problem, which also goes to the
  // log category as a warning.
  void ShowStatus(const QString& text);
  void ReportStatus(const QString& text);
  void ClearStatus() { ShowStatus(QString()); }
  // Reports "Err " + number + " @ " + tag + " : " + description.
  void ReportError(const QString& tag, int number, const QString& description);

  // "発言場" followed by the buffer number as a full-width digit.
  static QString BufferLabel(int buffer);

 signals:
  void panelChanged(const QString& key, const QString& text);

 private:
  QString program_folder_;
  QString host_name_override_;
  Random rng_;
  QString panels_[4];
};

}  // namespace quillora
