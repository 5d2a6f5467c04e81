#include "app/AppCore.h"

#include <QDir>
#include <QFileInfo>

#include "app/SettingsFile.h"

namespace quillora {

AppCore::AppCore(const QString& program_folder, uint64_t seed, SoundPlayer& sound, QObject* parent)
    : QObject(parent),
      instance_(program_folder, seed),
      chat_log_(instance_, sound, [this] { return !foreground_probe_ || foreground_probe_(); }),
      recipients_(),
      session_(instance_, chat_log_, recipients_),
      chat_(instance_, session_, chat_log_, recipients_),
      files_(instance_, session_),
      dice_(instance_, session_.router(), chat_log_, dice_options_),
      instant_(instance_, session_.router(), chat_log_, dice_),
      scenario_(instance_, session_.router(), RollWith(dice_options_, instance_.Rng())),
      table_(instance_, session_.router(), session_.dispatcher()),
      counters_(instance_, session_.router()),
      hex_map_(instance_, session_.router(), session_.dispatcher(), files_) {
  counters_.RegisterHandlers(session_.dispatcher());
}

AppCore::~AppCore() = default;

void AppCore::Startup(const CommandLine& options) {
  if (options.port > 0) session_.SetPort(options.port);

  // Settings: read them, or create the first-run file and say so.
  const QString ini = instance_.IniPath();
  bool loaded = false;
  if (QFileInfo::exists(ini)) {
    // A file that holds no version keeps every key unread: the program starts blank (no
    // handle, no honorific), but with the windows' own fonts and colours rather than black on
    // black.
    const Settings defaults = DefaultSettings(instance_.ProgramFolder(), instance_.HostName());
    const Settings design = DefaultSettings(instance_.ProgramFolder(), QString());
    Settings blank;
    blank.Font = design.Font;
    blank.Color = design.Color;
    blank.HexColor = design.HexColor;
    blank.DrawColor = design.DrawColor;
    loaded = LoadSettings(ini, blank, defaults);
    if (loaded) instance_.settings = blank;
  }
  if (!loaded) {
    instance_.settings = DefaultSettings(instance_.ProgramFolder(), instance_.HostName());
    AnnounceDefaultHandle();
    SaveSettings(ini, instance_.settings);
    chat_log_.SystemLine(QStringLiteral("App.iniファイルが見つからないか、正常ではありません。"));
    chat_log_.SystemLine(QStringLiteral("デフォルトのApp.iniファイルを作成しました。"));
  }
  Settings& s = instance_.settings;
  dice_options_ = DiceOptions::FromSettings(s.DiceOpt);
  instance_.working = s;

  if (s.PSetNameNum < 0 || s.PSetNameNum >= kPresetCount) s.PSetNameNum = 0;
  instance_.OwnHandle = options.handle.isEmpty() ? s.PsetName[s.PSetNameNum] : options.handle;

  instance_.SocketCount = 0;
  instance_.CurBufNum = 0;
  s.PsetMes[0].clear();
  instance_.text_log_file.clear();
  instance_.rtf_log_file.clear();
  instance_.ParticipantTable = {Participant{}};
  instance_.OwnIndex = -1;

  instance_.SetPanel(QLatin1String(kPanelSysReqMes), QString());
  instance_.SetPanel(QLatin1String(kPanelCurHandle), instance_.OwnHandle);
  instance_.SetPanel(QLatin1String(kPanelCurBufNum), Instance::BufferLabel(0));

  QDir().mkpath(instance_.LogFolder());
  instance_.LogDate = QDate::currentDate();
  chat_log_.LoadDayLog();
}

void AppCore::ApplyWorkingSettings() {
  Settings& live = instance_.settings;
  const uint32_t old_color = live.Color[kColorOwnHandle];
  live = instance_.working;
  SaveSettings(instance_.IniPath(), live);
  const int n = (live.PSetNameNum >= 0 && live.PSetNameNum < kPresetCount) ? live.PSetNameNum : 0;
  if (old_color != live.Color[kColorOwnHandle] || live.PsetName[n] != instance_.OwnHandle) {
    chat_.ChangeHandle(live.PsetName[n]);
  }
  // Every participant's addressee entry is written anew; typing markers go.
  for (const RecipientEntry& entry : QVector<RecipientEntry>(recipients_.ReDir())) {
    if (entry.data <= 0) continue;
    if (const Participant* row = instance_.ParticipantAt(entry.data)) {
      recipients_.Rename(entry.data, row->Handle, live.PreFixStr);
    }
  }
}

void AppCore::AnnounceDefaultHandle() {
  chat_log_.SystemLine(
      QStringLiteral("ユーザー名を") + instance_.HostName() +
      QStringLiteral("に設定しました。変更は、メニューの[設定]→[ユーザー情報設定]でできます"));
}

void AppCore::ResetAppearanceSettings() {
  const Settings defaults = DefaultSettings(instance_.ProgramFolder(), instance_.HostName());
  AnnounceDefaultHandle();
  Settings& s = instance_.settings;
  s.Font = defaults.Font;
  s.Color = defaults.Color;
  s.PsetMes = defaults.PsetMes;
  s.PsetName = defaults.PsetName;
  s.PSetNameNum = defaults.PSetNameNum;
  s.PreFixStr = defaults.PreFixStr;
  s.SndAtt = defaults.SndAtt;
  s.AutoSaveText = defaults.AutoSaveText;
  s.AutoSaveRTF = defaults.AutoSaveRTF;
  s.NoCngDate = defaults.NoCngDate;
  instance_.working = s;
}

void AppCore::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  if (instance_.SessionMode != ModeNone) session_.Disconnect();
  dice_options_.ToSettings(instance_.settings.DiceOpt);
  SaveSettings(instance_.IniPath(), instance_.settings);
}

}  // namespace quillora
