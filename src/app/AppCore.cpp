#include "app/AppCore.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "app/SessionPasswords.h"
#include "app/SettingsFile.h"

namespace quillora {

namespace {

// The part of the settings that the appearance dialog edits.
void CopyAppearanceSettings(const Settings& from, Settings& to) {
  to.Font = from.Font;
  to.Color = from.Color;
  to.PsetMes = from.PsetMes;
  to.PsetName = from.PsetName;
  to.PreFixStr = from.PreFixStr;
  to.SndAtt = from.SndAtt;
  to.AutoSaveText = from.AutoSaveText;
  to.AutoSaveRTF = from.AutoSaveRTF;
  to.NoCngDate = from.NoCngDate;
}

int PresetIndex(const Settings& s) {
  return (s.PSetNameNum >= 0 && s.PSetNameNum < kPresetCount) ? s.PSetNameNum : 0;
}

}  // namespace

AppCore::AppCore(const QString& program_folder, uint64_t seed, SoundPlayer& sound, QObject* parent)
    : QObject(parent),
      instance_(program_folder, seed),
      chat_log_(instance_, sound, [this] { return !foreground_probe_ || foreground_probe_(); }),
      recipients_(),
      session_(instance_),
      chat_(instance_, session_, chat_log_, recipients_),
      chat_receiver_(instance_, session_, chat_log_, recipients_),
      tools_(instance_, session_.router(), session_.dispatcher()),
      files_(instance_, session_),
      dice_(instance_, session_.router(), chat_log_, dice_options_),
      instant_(instance_, session_.router(), chat_log_, dice_),
      scenario_(instance_, session_.router(), RollWith(dice_options_, instance_.Rng())),
      table_(instance_, session_.router(), session_.dispatcher()),
      counters_(instance_, session_.router()),
      cards_(instance_, session_.router(), session_.dispatcher()),
      // The drawing board sends its pictures as files that receivers store without opening.
      drawing_(instance_, session_.router(), session_.dispatcher(),
               [this](const QString& path, std::function<void()> sent) {
                 return files_.SendFile(path, false, std::move(sent));
               }),
      hex_map_(instance_, session_.router(), session_.dispatcher(), files_),
      reconnector_({[this] { session_.Redial(); }, [this] { session_.AbandonRedial(); }}) {
  // The limit is the one in the settings when the connection is lost.
  connect(&session_, &Session::linkLost, this,
          [this] { reconnector_.SetLimitMinutes(ReconnectMinutes()); });
  AttachReconnector(reconnector_, session_);
  counters_.RegisterHandlers(session_.dispatcher());
  cards_.FollowAnnouncements(tools_);
  cards_.GreetJoiners(session_);
  connect(&buffers_, &MessageBuffers::currentChanged, this, [this](int n) {
    instance_.SetPanel(QLatin1String(kPanelCurBufNum), Instance::BufferLabel(n));
  });
  // A burst of lines costs the window one batch per frame, not one update per line.
  chat_log_.SetFrameBatching(true);
  // The own connection is read at once; only the chat's bound on waiting lines holds it.
  session_.SetReaderBehind([this] { return chat_log_.Backlog() > ChatLog::kMaxPending; });
  // Hosting keeps the shared state in a table file; leaving the host's seat closes it, so that
  // joining another game never writes into this one.
  connect(&instance_.session_state(), &SessionState::modeChanged, this, [this](int mode) {
    if (mode == ModeServer && !keeper_.IsOpen()) {
      keeper_.Open(table_path_.isEmpty() ? keeper_.DefaultPath() : table_path_);
    } else if (mode != ModeServer && keeper_.IsOpen()) {
      keeper_.Close();
    }
  });

  // Serving asks the router for the port at once; the answer comes later, hosting never waits.
  connect(&instance_.session_state(), &SessionState::modeChanged, this, [this](int mode) {
    if (mode == ModeServer && port_mapping_allowed_ && instance_.settings.PortMapping) {
      port_mapper_.Start(session_.Port());
    } else if (mode != ModeServer) {
      port_mapper_.Stop();
    }
  });
  connect(&port_mapper_, &PortMapper::notice, this,
          [this](const QString& line) { chat_log_.SystemLine(line); });
}

Reachability AppCore::CurrentReachability() const {
  Reachability r;
  r.port = session_.Port();
  if (instance_.SessionMode != ModeServer) {
    r.opening = PortOpening::NotServing;
  } else if (!port_mapper_.Started()) {
    r.opening = PortOpening::NotOpen;
    r.reason = QStringLiteral("ルータへの問い合わせは止めてあります");
  } else {
    r.opening = port_mapper_.Opening();
    r.reason = port_mapper_.Reason();
  }
  r.outside = port_mapper_.Outside();
  r.lan = LanAddress();
  r.ipv6 = GlobalIpv6Address();
  return r;
}

AppCore::~AppCore() = default;

void AppCore::Startup(const CommandLine& options) {
  if (options.port > 0) session_.SetPort(options.port);
  {
    // The command line's word wins for this run; otherwise the stored ones.
    const QString ini = instance_.IniPath();
    const QString given = options.password;
    session_.SetPassword(given.isEmpty() ? SessionPasswords(ini).HostWord() : given);
    session_.SetPasswordLookup([ini, given](const QString& host) {
      return given.isEmpty() ? SessionPasswords(ini).WordFor(host) : given;
    });
  }

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
    // Received files are kept, and opened only when the user says so, until they choose
    // otherwise.
    instance_.settings.ExecuteLevel = FileTransfer::kReceiveAskOpen;
    AnnounceDefaultHandle(options.handle.isEmpty() ? instance_.HostName() : options.handle);
    SaveSettings(ini, instance_.settings);
    chat_log_.SystemLine(
        QStringLiteral("App.iniファイルが見つからないか、正常ではありません。"
                       "デフォルトのApp.iniファイルを作成しました。"));
  }
  Settings& s = instance_.settings;
  dice_options_ = DiceOptions::FromSettings(s.DiceOpt);
  instance_.working = s;

  if (s.PSetNameNum < 0 || s.PSetNameNum >= kPresetCount) s.PSetNameNum = 0;
  instance_.OwnHandle = options.handle.isEmpty() ? s.PsetName[s.PSetNameNum] : options.handle;

  // The session state starts empty (no index, no participants) with the instance.
  s.PsetMes[0].clear();
  instance_.text_log_file.clear();
  instance_.rtf_log_file.clear();

  instance_.ClearStatus();
  instance_.SetPanel(QLatin1String(kPanelCurHandle), instance_.OwnHandle);
  instance_.SetPanel(QLatin1String(kPanelCurBufNum), Instance::BufferLabel(0));

  QDir().mkpath(instance_.LogFolder());
  instance_.LogDate = QDate::currentDate();
  chat_log_.LoadDayLog();

  // A host started from the command line opens its table before any window shows the tools.
  table_path_ = options.table;
  if (options.server) keeper_.Open(table_path_.isEmpty() ? keeper_.DefaultPath() : table_path_);
}

void AppCore::BeginAppearanceEdit() {
  instance_.working = instance_.settings;
  // A handle given on the command line is the handle in effect, so that is what the dialog
  // shows in the current preset's place.
  const int n = PresetIndex(instance_.working);
  run_handle_shown_ = instance_.working.PsetName[n] != instance_.OwnHandle;
  if (run_handle_shown_) instance_.working.PsetName[n] = instance_.OwnHandle;
}

void AppCore::SaveCurrentSettings() {
  if (collect_settings_) collect_settings_();
  dice_options_.ToSettings(instance_.settings.DiceOpt);
  SaveSettings(instance_.IniPath(), instance_.settings);
}

void AppCore::ApplyWorkingSettings() {
  Settings& live = instance_.settings;
  const uint32_t old_color = live.Color[kColorOwnHandle];
  const int n = PresetIndex(live);
  const QString stored_name = live.PsetName[n];
  // The run's handle, left as the dialog showed it, stays the run's and is not stored.
  const bool run_handle_kept =
      run_handle_shown_ && instance_.working.PsetName[n] == instance_.OwnHandle;
  CopyAppearanceSettings(instance_.working, live);
  if (run_handle_kept) live.PsetName[n] = stored_name;
  SaveCurrentSettings();
  const QString handle = run_handle_kept ? instance_.OwnHandle : live.PsetName[n];
  if (old_color != live.Color[kColorOwnHandle] || handle != instance_.OwnHandle) {
    chat_.ChangeHandle(handle);
  }
  if (!run_handle_kept) run_handle_shown_ = false;
  // Every participant's addressee entry is written anew; typing markers go.
  for (const RecipientEntry& entry : QVector<RecipientEntry>(recipients_.ReDir())) {
    if (entry.data <= 0) continue;
    if (const Participant* row = instance_.ParticipantAt(entry.data)) {
      recipients_.Rename(entry.data, row->Handle, live.PreFixStr);
    }
  }
}

void AppCore::AnnounceDefaultHandle(const QString& handle) {
  chat_log_.SystemLine(
      QStringLiteral("ユーザー名を") + handle +
      QStringLiteral("に設定しました。変更は、メニューの[設定]→[ユーザー情報設定]でできます"));
}

void AppCore::ResetAppearanceSettings() {
  const Settings defaults = DefaultSettings(instance_.ProgramFolder(), instance_.HostName());
  AnnounceDefaultHandle(instance_.HostName());
  Settings& s = instance_.settings;
  CopyAppearanceSettings(defaults, s);
  s.PSetNameNum = defaults.PSetNameNum;
  instance_.working = s;
  run_handle_shown_ = false;
}

int AppCore::ReconnectMinutes() const {
  // [SpExt] AutoReconnect: minutes of automatic reconnection, 0 for none; read when it is
  // needed, so that a change to the file takes effect without a restart.
  IniFile ini;
  if (!ini.Load(instance_.IniPath())) return Reconnector::kDefaultLimitMinutes;
  bool ok = false;
  const int minutes =
      ReadIniString(ini, QStringLiteral("SpExt"), QStringLiteral("AutoReconnect"), QString())
          .trimmed()
          .toInt(&ok);
  if (!ok || minutes < 0) return Reconnector::kDefaultLimitMinutes;
  return std::min(minutes, 24 * 60);
}

void AppCore::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  reconnector_.Stop();
  if (instance_.SessionMode != ModeNone) session_.Disconnect();
  chat_log_.Flush();
  keeper_.Close();
  SaveCurrentSettings();
}

}  // namespace quillora
