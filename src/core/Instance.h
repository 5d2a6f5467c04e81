#pragma once

#include <QDate>
#include <QObject>
#include <QString>
#include <QVector>
#include <cstdint>
#include <functional>

#include "core/Random.h"
#include "core/Settings.h"

namespace quillora {

enum Mode : int16_t { ModeNone = 0, ModeServer = 1, ModeClient = 2, ModeConnecting = 3 };

// One row of the participant table; Index equals the row number.
struct Participant {
  QString Handle;
  int16_t Index = 0;
  bool Present = false;
  uint32_t Color = 0;
};

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
  int16_t SessionMode = ModeNone;
  int16_t OwnIndex = -1;
  int16_t SocketCount = 0;
  QVector<Participant> ParticipantTable{Participant{}};
  QDate LogDate = QDate::currentDate();
  int CurBufNum = 0;
  QString text_log_file;  // last manual plain-text save, for this run only
  QString rtf_log_file;   // last manual rich-text save

  // Grows the participant table so that row `index` exists (existing rows are kept).
  void EnsureParticipantRow(int index);
  // The participant row for `index`, or nullptr when it is outside the table.
  Participant* ParticipantAt(int index);

  Random& Rng() { return rng_; }

  // --- status bar --------------------------------------------------------------------------
  // Sets the text of the status bar panel with the given key.
  void SetPanel(const QString& key, const QString& text);
  QString Panel(const QString& key) const;
  // "Err " + number + " @ " + tag + " : " + description into panel SysReqMes.
  void ReportError(const QString& tag, int number, const QString& description);

  // "発言場" followed by the buffer number as a full-width digit.
  static QString BufferLabel(int buffer);

 signals:
  void panelChanged(const QString& key, const QString& text);
  // Asks the windows to show a tool window (code 5 and the tools menu): tool number of the
  // tools menu (0 dice .. 7 scenario) and an argument (the card mode for the card window).
  void toolWindowRequested(int tool, int argument);

 private:
  QString program_folder_;
  QString host_name_override_;
  Random rng_;
  QString panels_[4];
};

}  // namespace quillora
