#include "app/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AdmissionView.h"
#include "app/AppCore.h"
#include "app/AppearanceDialog.h"
#include "app/LinkStatusWidget.h"
#include "chat/ChatHtml.h"
#include "chat/ChatLog.h"
#include "chat/NetworkInfoDialog.h"
#include "core/Colors.h"
#include "dice/DiceBroadcast.h"
#include "ui/Dialogs.h"
#include "ui/ScrollFollower.h"
#include "ui/WidgetStyle.h"

namespace quillora {

namespace {

const char* const kToolCaptions[MainWindow::kToolCount] = {
    "ダイス機能",     "カード機能",   "お絵描き機能", "ＨＥＸ機能",
    "カウンター機能", "テーブル機能", "簡易発言機能", "シナリオ機能"};

const char* const kPolicyCaptions[7] = {"無条件で受信・実行する",
                                        "無条件で受信のみする(実行はしない)",
                                        "無条件で受信・確認して実行する",
                                        "確認して受信・実行する",
                                        "確認して受信のみする(実行はしない)",
                                        "確認して受信・確認して実行する",
                                        "一切受信・実行しない"};

// Twips per pixel on the screen the window is on (15 at 96 dpi).
double TwipsPerPixel(const QWidget* w) {
  const double dpi = w->logicalDpiX() > 0 ? w->logicalDpiX() : 96.0;
  return 1440.0 / dpi;
}

QAction* AddAction(QMenu* menu, const QString& caption, const QString& object_name) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(object_name);
  return action;
}

// Separators keep the names of the menu positions they stand at.
void AddSeparator(QMenu* menu, const QString& object_name) {
  menu->addSeparator()->setObjectName(object_name);
}

}  // namespace

void PanelLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked(1);
  if (event->button() == Qt::RightButton) emit clicked(2);
  QLabel::mousePressEvent(event);
}

MainWindow::MainWindow(AppCore& core, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), core_(core), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Quillora - NoMode どこにも接続されてません"));
  BuildWidgets();
  BuildMenus();
  BuildStatusBar();
  WireModels();
  core_.SetForegroundProbe([this] { return IsInFront(); });
  core_.SetSettingsCollector([this] {
    StoreWindowStateIntoSettings();
    emit aboutToSaveSettings();
  });
  core_.files().confirm = [this](const QString& title, const QString& text,
                                 std::function<void(bool)> done) {
    dialogs_.Confirm(this, title, text, std::move(done));
  };
  // A received file that nothing here can open is a line in the status bar, not a box per file.
  core_.files().open_file = [this](const QString& path) {
    if (!dialogs_.OpenWithShell(path)) {
      core_.instance().ReportStatus(QFileInfo(path).fileName() +
                                    QStringLiteral("を開けませんでした（file_Rcvに保存しました）"));
    }
  };
  UpdateConnectedMenus(false);
}

MainWindow::~MainWindow() {
  core_.SetSettingsCollector({});
  core_.SetForegroundProbe({});
}

void MainWindow::BuildWidgets() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("frmMainClient"));
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  // The two separator lines under the menu bar.
  for (int i = 0; i < 2; ++i) {
    auto* line = new QFrame(central);
    line->setObjectName(QStringLiteral("linMenuSep_%1").arg(i));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(i == 0 ? QFrame::Sunken : QFrame::Plain);
    line->setFixedHeight(1);
    line->setStyleSheet(i == 0 ? QStringLiteral("color: palette(mid);")
                               : QStringLiteral("color: palette(light);"));
    outer->addWidget(line);
  }

  splitter_ = new QSplitter(Qt::Horizontal, central);
  splitter_->setObjectName(QStringLiteral("splMain"));
  splitter_->setChildrenCollapsible(false);

  rtb_main_ = new QTextEdit(splitter_);
  rtb_main_->setObjectName(QStringLiteral("rtbMain"));
  rtb_main_->setReadOnly(true);
  rtb_main_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard |
                                     Qt::LinksAccessibleByMouse);
  rtb_main_->setDocument(core_.chat_log().Main());
  rtb_main_->setMinimumWidth(120);

  // The whole day's log, which is never shown, is kept by the chat log itself (DayLog).

  list_column_ = new QWidget(splitter_);
  list_column_->setObjectName(QStringLiteral("pnlLists"));
  auto* lists = new QVBoxLayout(list_column_);
  lists->setContentsMargins(0, 0, 0, 0);
  lists->setSpacing(2);
  lst_redir_ = new QListWidget(list_column_);
  lst_redir_->setObjectName(QStringLiteral("lstReDir"));
  lst_redir_->setToolTip(QStringLiteral("宛名リスト"));
  lst_send_ = new QListWidget(list_column_);
  lst_send_->setObjectName(QStringLiteral("lstSend"));
  lst_send_->setToolTip(QStringLiteral("送り先リスト"));
  lists->addWidget(lst_redir_, 1);
  lists->addWidget(lst_send_, 1);
  splitter_->addWidget(rtb_main_);
  splitter_->addWidget(list_column_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  const int list_width = static_cast<int>(2160 / TwipsPerPixel(this));
  splitter_->setSizes({600, list_width});
  outer->addWidget(splitter_, 1);

  auto* input_row = new QWidget(central);
  auto* input_layout = new QGridLayout(input_row);
  input_layout->setContentsMargins(2, 4, 2, 2);
  input_layout->setHorizontalSpacing(6);
  txt_mess_ = new QPlainTextEdit(input_row);
  txt_mess_->setObjectName(QStringLiteral("txtMess"));
  txt_mess_->setTabChangesFocus(true);
  const int line = txt_mess_->fontMetrics().lineSpacing();
  txt_mess_->setFixedHeight(line * 2 + 14);
  cmd_mess_send_ = new QPushButton(QStringLiteral("発言"), input_row);
  cmd_mess_send_->setObjectName(QStringLiteral("cmdMessSend"));
  cmd_mess_send_->setMinimumWidth(static_cast<int>(960 / TwipsPerPixel(this)));
  cmd_mess_send_->setAutoDefault(false);
  input_layout->addWidget(txt_mess_, 0, 0);
  input_layout->addWidget(cmd_mess_send_, 0, 1, Qt::AlignVCenter);
  input_layout->setColumnStretch(0, 1);
  outer->addWidget(input_row, 0);

  setCentralWidget(central);

  // The window sees key presses before its controls.
  for (QWidget* w : {static_cast<QWidget*>(rtb_main_), static_cast<QWidget*>(txt_mess_),
                     static_cast<QWidget*>(cmd_mess_send_), static_cast<QWidget*>(lst_redir_),
                     static_cast<QWidget*>(lst_send_)}) {
    w->installEventFilter(this);
  }
  txt_mess_->viewport()->installEventFilter(this);

  connect(cmd_mess_send_, &QPushButton::clicked, this, &MainWindow::SendMessage);
  connect(txt_mess_, &QPlainTextEdit::textChanged, this,
          [this] { core_.chat().InputTextChanged(txt_mess_->toPlainText()); });
  connect(lst_redir_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!syncing_lists_) core_.recipients().SelectReDir(row);
  });
  connect(lst_send_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!syncing_lists_) core_.recipients().SelectSend(row);
  });
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("mnuMain"));

  // ファイル
  QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
  file->setObjectName(QStringLiteral("mnuFile"));
  QAction* save_text =
      AddAction(file, QStringLiteral("会話ログを保存"), QStringLiteral("mnuFileSub_0"));
  QAction* save_text_again =
      AddAction(file, QStringLiteral("会話ログを上書き保存"), QStringLiteral("mnuFileSub_1"));
  QAction* save_rtf = AddAction(file, QStringLiteral("RTFで保存"), QStringLiteral("mnuFileSub_2"));
  QAction* save_rtf_again =
      AddAction(file, QStringLiteral("RTFで上書き保存"), QStringLiteral("mnuFileSub_3"));
  save_text_again->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  save_rtf_again->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  connect(save_text, &QAction::triggered, this, [this] { SaveLog(false, true); });
  connect(save_text_again, &QAction::triggered, this, [this] { SaveLog(false, false); });
  connect(save_rtf, &QAction::triggered, this, [this] { SaveLog(true, true); });
  connect(save_rtf_again, &QAction::triggered, this, [this] { SaveLog(true, false); });
  AddTableFileActions(file);
  file->addSeparator();
  QAction* exit = AddAction(file, QStringLiteral("終了"), QStringLiteral("mnuExit"));
  connect(exit, &QAction::triggered, this, &QWidget::close);

  // 接続
  QMenu* con = bar->addMenu(QStringLiteral("接続(&C)"));
  con->setObjectName(QStringLiteral("mnuCon"));
  become_server_ = AddAction(con, QStringLiteral("サーバになる"), QStringLiteral("mnuConSub_0"));
  connect_ = AddAction(con, QStringLiteral("サーバに接続"), QStringLiteral("mnuConSub_1"));
  AddSeparator(con, QStringLiteral("mnuConSub_2"));
  disconnect_ = AddAction(con, QStringLiteral("接続を切る"), QStringLiteral("mnuConSub_3"));
  AddSeparator(con, QStringLiteral("mnuConSub_4"));
  QAction* show_ip =
      AddAction(con, QStringLiteral("ＩＰを表示してコピー"), QStringLiteral("mnuConSub_5"));
  QAction* network_info =
      AddAction(con, QStringLiteral("WinIPCfgを起動"), QStringLiteral("mnuConSub_6"));
  connect(become_server_, &QAction::triggered, this, [this] { core_.session().BecomeServer(); });
  connect(connect_, &QAction::triggered, this, &MainWindow::OnConnectCommand);
  connect(disconnect_, &QAction::triggered, this, [this] { core_.session().Disconnect(); });
  connect(show_ip, &QAction::triggered, this, &MainWindow::OnShowIp);
  connect(network_info, &QAction::triggered, this, &MainWindow::OnShowNetworkInfo);
  new AdmissionView(core_, dialogs_, this, con, lst_redir_, lst_send_);

  // 設定
  QMenu* set = bar->addMenu(QStringLiteral("設定(&S)"));
  set->setObjectName(QStringLiteral("mnuSet"));
  QAction* user_info =
      AddAction(set, QStringLiteral("ユーザー情報設定"), QStringLiteral("mnuSetSub_0"));
  QAction* appearance =
      AddAction(set, QStringLiteral("アプリケーション設定"), QStringLiteral("mnuSetSub_1"));
  AddSeparator(set, QStringLiteral("mnuSetSub_2"));
  multi_line_ = AddAction(set, QStringLiteral("複数行発言許可"), QStringLiteral("mnuSetSub_3"));
  AddSeparator(set, QStringLiteral("mnuSetSub_4"));
  show_redir_ = AddAction(set, QStringLiteral("宛名リストを表示"), QStringLiteral("mnuSetSub_5"));
  show_send_ = AddAction(set, QStringLiteral("あて先リストを表示"), QStringLiteral("mnuSetSub_6"));
  reset_redir_ =
      AddAction(set, QStringLiteral("宛名選択を発言毎に戻す"), QStringLiteral("mnuSetSub_7"));
  reset_send_ =
      AddAction(set, QStringLiteral("あて先選択を発言毎に戻す"), QStringLiteral("mnuSetSub_8"));
  for (QAction* check : SettingChecks()) check->setCheckable(true);
  show_redir_->setChecked(true);
  show_send_->setChecked(true);
  connect(user_info, &QAction::triggered, this, &MainWindow::OnChangeHandle);
  connect(appearance, &QAction::triggered, this, [this] {
    if (!appearance_) {
      appearance_ = new AppearanceDialog(core_, dialogs_, this);
      connect(appearance_, &AppearanceDialog::applied, this, &MainWindow::ApplyAppearance);
      connect(appearance_, &AppearanceDialog::dismissed, this, &MainWindow::FocusInput);
    }
    appearance_->Open();
  });
  connect(show_redir_, &QAction::toggled, this, [this] { LayoutLists(); });
  connect(show_send_, &QAction::toggled, this, [this] { LayoutLists(); });
  // The record follows the check marks at once; the chat controller reads the reset flags.
  for (QAction* check : SettingChecks()) {
    connect(check, &QAction::toggled, this, [this] { StoreMenuChecksIntoSettings(); });
  }

  // 拡張機能
  menu_ext_ = bar->addMenu(QStringLiteral("拡張機能(&E)"));
  menu_ext_->setObjectName(QStringLiteral("mnuExt"));
  for (int i = 0; i < kToolCount; ++i) {
    ext_sub_[i] = AddAction(menu_ext_, QString::fromUtf8(kToolCaptions[i]),
                            QStringLiteral("mnuExtSub_%1").arg(i));
    ext_sub_[i]->setCheckable(true);
    ext_sub_[i]->setEnabled(false);  // enabled once the tool's window is registered
    connect(ext_sub_[i], &QAction::triggered, this, [this, i] {
      // The check mark follows the window, not the click.
      ext_sub_[i]->setChecked(!ext_sub_[i]->isChecked());
      ToggleTool(i);
    });
  }

  // 特殊機能
  QMenu* sp = bar->addMenu(QStringLiteral("特殊機能(&X)"));
  sp->setObjectName(QStringLiteral("mnuSpExt"));
  QAction* send_file =
      AddAction(sp, QStringLiteral("ファイルの転送実行"), QStringLiteral("mnuSpExtSub_0"));
  connect(send_file, &QAction::triggered, this, &MainWindow::OnSendFile);
  QMenu* policy = sp->addMenu(QStringLiteral("転送実行許可フラグ"));
  policy->setObjectName(QStringLiteral("mnuSpExtSub_1"));
  auto* group = new QActionGroup(this);
  group->setExclusive(true);
  for (int i = 0; i < 7; ++i) {
    policy_sub_[i] = AddAction(policy, QString::fromUtf8(kPolicyCaptions[i]),
                               QStringLiteral("mnuSpExtSubSub_%1").arg(i));
    policy_sub_[i]->setCheckable(true);
    group->addAction(policy_sub_[i]);
    connect(policy_sub_[i], &QAction::triggered, this,
            [this, i] { core_.instance().settings.ExecuteLevel = i; });
  }
  policy_sub_[0]->setChecked(true);

  // How fast one file transfer may go: the standard ceiling, or gentle for a slow line.
  QMenu* rate = sp->addMenu(QStringLiteral("ファイル送信速度の上限"));
  rate->setObjectName(QStringLiteral("mnuSpExtSub_2"));
  auto* rate_group = new QActionGroup(this);
  rate_group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  static constexpr std::array<int, 2> kRates = {FileTransfer::kDefaultRate,
                                                FileTransfer::kThinLineRate};
  static constexpr std::array<const char*, 2> kRateCaptions = {"回線の速さで（標準）",
                                                               "4KB/秒（低速回線向け）"};
  for (int i = 0; i < 2; ++i) {
    rate_sub_[i] = AddAction(rate, QString::fromUtf8(kRateCaptions[i]),
                             QStringLiteral("mnuSpExtRate_%1").arg(i));
    rate_sub_[i]->setCheckable(true);
    rate_group->addAction(rate_sub_[i]);
    const int kb = kRates[i];
    connect(rate_sub_[i], &QAction::triggered, this,
            [this, kb] { core_.instance().settings.FileSendRate = kb; });
  }
  rate_sub_[0]->setChecked(true);

  // ヘルプ
  QMenu* help = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  QAction* help0 = AddAction(help, QStringLiteral("ヘルプ"), QStringLiteral("mnuHelpSub_0"));
  help0->setShortcut(QKeySequence(Qt::Key_F1));
  help0->setEnabled(false);
  QAction* help1 =
      AddAction(help, QStringLiteral("バージョン情報"), QStringLiteral("mnuHelpSub_1"));
  connect(help1, &QAction::triggered, this, &MainWindow::ShowVersion);
}

void MainWindow::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("stbMain"));
  bar->setSizeGripEnabled(true);
  panel_sys_ = new PanelLabel(bar);
  panel_sys_->setObjectName(QStringLiteral("SysReqMes"));
  panel_sys_->setToolTip(QStringLiteral("エラーメッセージ等"));
  panel_sys_->setMinimumWidth(120);
  panel_handle_ = new PanelLabel(bar);
  panel_handle_->setObjectName(QStringLiteral("CurHandle"));
  panel_handle_->setToolTip(QStringLiteral("現在のハンドル"));
  panel_buf_ = new PanelLabel(QStringLiteral("発言場０"), bar);
  panel_buf_->setObjectName(QStringLiteral("CurBufNum"));
  panel_buf_->setToolTip(QStringLiteral("現在の発言場"));
  panel_time_ = new QLabel(bar);
  panel_time_->setObjectName(QStringLiteral("CurTime"));
  panel_time_->setToolTip(QStringLiteral("現在の時刻"));
  for (QLabel* l : {static_cast<QLabel*>(panel_sys_), static_cast<QLabel*>(panel_handle_),
                    static_cast<QLabel*>(panel_buf_), panel_time_}) {
    l->setContentsMargins(6, 0, 6, 0);
  }
  bar->addWidget(panel_sys_, 1);
  BuildFileProgress();
  bar->addPermanentWidget(panel_handle_);
  bar->addPermanentWidget(panel_buf_);
  bar->addPermanentWidget(panel_time_);

  clock_ = new QTimer(this);
  auto tick = [this] {
    panel_time_->setText(QTime::currentTime().toString(QStringLiteral("H:mm")));
  };
  connect(clock_, &QTimer::timeout, this, tick);
  clock_->start(1000);
  tick();

  connect(panel_sys_, &PanelLabel::clicked, this,
          [this](int) { core_.instance().SetPanel(QLatin1String(kPanelSysReqMes), QString()); });
  connect(panel_handle_, &PanelLabel::clicked, this, &MainWindow::OnHandlePanelClicked);
  connect(panel_buf_, &PanelLabel::clicked, this, &MainWindow::OnBufferPanelClicked);
}

void MainWindow::BuildFileProgress() {
  file_progress_ = new QProgressBar(statusBar());
  file_progress_->setObjectName(QStringLiteral("prgFile"));
  file_progress_->setMaximumWidth(140);
  file_progress_->setMaximumHeight(16);
  file_progress_->setTextVisible(false);
  file_progress_->hide();
  file_cancel_ = new QToolButton(statusBar());
  file_cancel_->setObjectName(QStringLiteral("cmdFileCancel"));
  file_cancel_->setText(QStringLiteral("中止"));
  file_cancel_->setToolTip(
      QStringLiteral("ファイルの送信を中止します（届いた分は相手に残ります）"));
  file_cancel_->setAutoRaise(true);
  file_cancel_->hide();
  statusBar()->addWidget(file_progress_);
  statusBar()->addWidget(file_cancel_);
  connect(file_cancel_, &QToolButton::clicked, this, [this] { core_.files().CancelSending(); });
  connect(&core_.files(), &FileTransfer::progress, this, &MainWindow::OnFileProgress);
  connect(&core_.files(), &FileTransfer::sendingEnded, this, [this] {
    file_progress_->hide();
    file_cancel_->hide();
  });
}

void MainWindow::OnFileProgress(bool sending, const QString& name, int k, int n) {
  file_progress_->setRange(0, std::max(1, n));
  file_progress_->setValue(k);
  file_progress_->setToolTip(name);
  const bool done = k >= n;
  file_progress_->setVisible(!done || (sending && core_.files().Sending()));
  if (sending) file_cancel_->setVisible(core_.files().Sending());
}

void MainWindow::WireModels() {
  Instance& inst = core_.instance();
  connect(&inst, &Instance::panelChanged, this, [this](const QString& key, const QString& text) {
    if (key == QLatin1String(kPanelSysReqMes)) panel_sys_->setText(text);
    if (key == QLatin1String(kPanelCurHandle)) panel_handle_->setText(text);
    if (key == QLatin1String(kPanelCurBufNum)) panel_buf_->setText(text);
  });
  panel_sys_->setText(inst.Panel(QLatin1String(kPanelSysReqMes)));
  panel_handle_->setText(inst.Panel(QLatin1String(kPanelCurHandle)));

  Session& session = core_.session();
  connect(&session, &Session::titleChanged, this, &MainWindow::UpdateTitle);
  // While the program tries to get back in, 切断 stays available to stop it.
  connect(&session, &Session::connectedChanged, this, [this](bool connected) {
    UpdateConnectedMenus(connected || core_.reconnector().Active());
  });
  connect(&core_.reconnector(), &Reconnector::activeChanged, this,
          [this](bool active) { UpdateConnectedMenus(active || core_.session().Active()); });
  statusBar()->addPermanentWidget(new LinkStatusWidget(core_, statusBar()));

  Recipients& rec = core_.recipients();
  connect(&rec, &Recipients::listsChanged, this, &MainWindow::RefreshLists);
  connect(&rec, &Recipients::selectionChanged, this, &MainWindow::RefreshLists);
  RefreshLists();

  // Keep the chat view at its end while new lines arrive, unless the user scrolled up.
  new ScrollFollower(rtb_main_);
}

std::array<QAction*, 5> MainWindow::SettingChecks() const {
  return {multi_line_, show_redir_, show_send_, reset_redir_, reset_send_};
}

void MainWindow::UpdateTitle(const QString& title) { setWindowTitle(title); }

void MainWindow::UpdateConnectedMenus(bool connected) {
  become_server_->setEnabled(!connected);
  connect_->setEnabled(!connected);
  disconnect_->setEnabled(connected);
  menu_ext_->setEnabled(connected);
  menu_ext_->menuAction()->setEnabled(connected);
}

void MainWindow::RefreshLists() {
  const Recipients& rec = core_.recipients();
  syncing_lists_ = true;
  auto fill = [](QListWidget* list, const QVector<RecipientEntry>& entries, int selected) {
    // Rewrite in place so that the view does not flicker while someone types.
    while (list->count() > entries.size()) delete list->takeItem(list->count() - 1);
    for (int i = 0; i < entries.size(); ++i) {
      QListWidgetItem* item = list->item(i);
      if (!item) item = new QListWidgetItem(list);
      if (item->text() != entries[i].text) item->setText(entries[i].text);
      item->setData(Qt::UserRole, entries[i].data);
    }
    list->setCurrentRow(selected);
  };
  fill(lst_redir_, rec.ReDir(), rec.ReDirRow());
  fill(lst_send_, rec.Send(), rec.SendRow());
  syncing_lists_ = false;
  ShowWhisperTarget();
}

void MainWindow::ShowWhisperTarget() {
  // The destination list keeps its choice after a whisper; say so where the user types.
  const RecipientEntry* to = core_.recipients().SelectedSend();
  if (!to || to->data <= 0) {
    cmd_mess_send_->setText(QStringLiteral("発言"));
    cmd_mess_send_->setToolTip(QString());
    txt_mess_->setPlaceholderText(QString());
    return;
  }
  const QString notice = to->text + QStringLiteral("へ秘密通達");
  cmd_mess_send_->setText(QStringLiteral("秘密通達"));
  cmd_mess_send_->setToolTip(notice);
  txt_mess_->setPlaceholderText(notice +
                                QStringLiteral("（全員へは送り先リストで「全員」を選択）"));
}

void MainWindow::LayoutLists() {
  const bool redir = show_redir_->isChecked();
  const bool send = show_send_->isChecked();
  lst_redir_->setVisible(redir);
  lst_send_->setVisible(send);
  list_column_->setVisible(redir || send);
  // A hidden list goes back to its first entry.
  if (!redir && lst_redir_->count() > 0) core_.recipients().SelectReDir(0);
  if (!send && lst_send_->count() > 0) core_.recipients().SelectSend(0);
}

void MainWindow::SetToolWindow(int tool, QWidget* window) {
  if (tool < 0 || tool >= kToolCount) return;
  tools_[tool] = window;
  ext_sub_[tool]->setEnabled(window != nullptr);
  if (window) window->installEventFilter(this);
}

QWidget* MainWindow::ToolWindow(int tool) const {
  return tool >= 0 && tool < kToolCount ? tools_[tool].data() : nullptr;
}

void MainWindow::ShowTool(int tool) {
  if (tool < 0 || tool >= kToolCount || !tools_[tool]) return;
  tools_[tool]->show();
  tools_[tool]->raise();
  ext_sub_[tool]->setChecked(true);
}

void MainWindow::ToggleTool(int tool) {
  if (tool < 0 || tool >= kToolCount) return;
  QWidget* window = tools_[tool];
  if (!window) return;
  const bool checked = ext_sub_[tool]->isChecked();
  if (checked) {
    window->hide();
    ext_sub_[tool]->setChecked(false);
    return;
  }
  auto show = [this, tool, window] {
    if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    ext_sub_[tool]->setChecked(true);
    // The server opens the shared tools on every client too.
    if (tool == kDrawing || tool == kHexMap || tool == kCounters || tool == kTable) {
      core_.tools().Announce(tool + 1);
    }
    // The card window opens in the mode the game master plays.
    if (tool == kCards) core_.cards().AnnounceMode();
  };
  if (tool == kHexMap && core_.instance().SessionMode == ModeServer && hex_setup_) {
    hex_setup_(show);
    return;
  }
  show();
}

void MainWindow::OnToolClosed(int tool) {
  if (tool >= 0 && tool < kToolCount) ext_sub_[tool]->setChecked(false);
}

QAction* MainWindow::menu_action(const QString& object_name) const {
  return findChild<QAction*>(object_name);
}

bool MainWindow::IsInFront() const {
  return isActiveWindow() && QGuiApplication::applicationState() == Qt::ApplicationActive;
}

// --- sending ---------------------------------------------------------------------------------

void MainWindow::SendMessage() {
  core_.chat().SendChatMessage(txt_mess_->toPlainText());
  AfterSendReset();
}

void MainWindow::FocusInput() { txt_mess_->setFocus(Qt::OtherFocusReason); }

void MainWindow::AfterSendReset() {
  const QString text = core_.buffers().AfterSend();
  txt_mess_->setPlainText(text);
  txt_mess_->moveCursor(QTextCursor::End);
  txt_mess_->setFocus();
}

void MainWindow::SwitchBuffer(int n) {
  const QString text =
      core_.buffers().SwitchTo(n, txt_mess_->toPlainText(), core_.instance().settings.PsetMes);
  txt_mess_->setPlainText(text);
  txt_mess_->moveCursor(QTextCursor::End);
}

void MainWindow::PreviousBuffer() { SwitchBuffer((core_.buffers().Current() + 9) % 10); }
void MainWindow::NextBuffer() { SwitchBuffer((core_.buffers().Current() + 1) % 10); }

void MainWindow::OnBufferPanelClicked(int button) {
  if (button == 1) PreviousBuffer();
  if (button == 2) NextBuffer();
}

void MainWindow::OnHandlePanelClicked(int button) {
  if (button == 1) core_.chat().SwitchPresetHandle(-1);
  if (button == 2) core_.chat().SwitchPresetHandle(+1);
}

void MainWindow::OnChangeHandle() {
  dialogs_.Input(
      this, QStringLiteral("ユーザー情報変更"),
      QStringLiteral("ハンドルを入力して下さい\n（必要なユーザー情報は、ハンドルのみです）"),
      QString(), [this](std::optional<QString> answer) {
        FocusInput();
        if (answer) core_.chat().ChangeHandleFromDialog(*answer);
      });
}

void MainWindow::StepList(QListWidget* list, int delta) {
  if (list->count() == 0) return;
  const int row = std::clamp(list->currentRow() + delta, 0, list->count() - 1);
  if (list == lst_redir_) {
    core_.recipients().SelectReDir(row);
  } else {
    core_.recipients().SelectSend(row);
  }
}

bool MainWindow::HandleShortcut(QKeyEvent* key) {
  const Qt::KeyboardModifiers mods =
      key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
  const int k = key->key();
  if (mods == Qt::ControlModifier && k >= Qt::Key_0 && k <= Qt::Key_9 &&
      !(key->modifiers() & Qt::KeypadModifier)) {
    SwitchBuffer(k - Qt::Key_0);
    return false;
  }
  if (mods == Qt::ControlModifier) {
    switch (k) {
      case Qt::Key_D:
        if (tools_[kDice] && tools_[kDice]->isVisible() && dice_focus_) {
          dice_focus_();
          return true;
        }
        return false;
      case Qt::Key_Up:
        StepList(lst_send_, -1);
        return false;
      case Qt::Key_Down:
        StepList(lst_send_, +1);
        return false;
      case Qt::Key_Left:
        StepList(lst_redir_, -1);
        return false;
      case Qt::Key_Right:
        StepList(lst_redir_, +1);
        return false;
      default:
        break;
    }
  }
  if (mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
    if (k == Qt::Key_Left) {
      PreviousBuffer();
      return true;
    }
    if (k == Qt::Key_Right) {
      NextBuffer();
      return true;
    }
  }
  return false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // Tool windows closed with their close box clear their menu check. Minimising hides a window
  // too, but that hide comes from the window system and leaves the check alone.
  for (int i = 0; i < kToolCount; ++i) {
    if (watched == tools_[i] && event->type() == QEvent::Hide && !event->spontaneous()) {
      OnToolClosed(i);
    }
  }
  // The window's own shortcuts act on keys pressed in this window only, not in a tool window.
  auto* widget = qobject_cast<QWidget*>(watched);
  if (event->type() == QEvent::KeyPress && widget && widget->window() == this) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (HandleShortcut(key)) return true;
    // Without multi-line messages Enter sends, with Shift too: no line break gets into the box.
    if (watched == txt_mess_ && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        !multi_line_->isChecked()) {
      SendMessage();
      core_.chat().TypingStopped();  // the stop-typing step runs after an Enter-send
      return true;
    }
  }
  if (watched == txt_mess_ && event->type() == QEvent::FocusIn) {
    core_.chat().InputFocusIn(txt_mess_->toPlainText());
  }
  if (watched == txt_mess_ && event->type() == QEvent::FocusOut) {
    core_.chat().TypingStopped();
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- connection menu -------------------------------------------------------------------------

void MainWindow::OnConnectCommand() {
  dialogs_.Input(
      this, QStringLiteral("接続先入力"),
      QStringLiteral("接続先のＩＰアドレスを入力して下さい(例：127.0.0.1)\n"
                     "接続先のＩＰは、ServerModeでこのソフトを立ち上げている方に、何らかの方法で"
                     "聞いて下さい。通常、接続先のＩＰは、ネットに繋げる毎に違います。"),
      QString(), [this](std::optional<QString> answer) {
        FocusInput();
        if (!answer || answer->isEmpty()) return;
        core_.session().Connect(*answer);
      });
}

void MainWindow::OnShowIp() {
  dialogs_.SetClipboardText(QString());
  const AddressNotice notice = AddressReport(core_.CurrentReachability());
  dialogs_.SetClipboardText(notice.clipboard);
  dialogs_.Message(this, QStringLiteral("IP Utility"), notice.message, Dialogs::Icon::Information,
                   [this] { FocusInput(); });
}

void MainWindow::OnShowNetworkInfo() {
  auto* dialog = new NetworkInfoDialog(dialogs_, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
}

// --- file transfer -------------------------------------------------------------------------

void MainWindow::OnSendFile() {
  // The first time in this run the dialog starts in the program folder, later where it was left.
  if (file_dialog_folder_.isEmpty()) file_dialog_folder_ = core_.instance().ProgramFolder();
  dialogs_.OpenFile(this, QStringLiteral("ファイルの転送実行"), file_dialog_folder_,
                    QStringLiteral("全てのファイル(*.*) (*)"), [this](QString chosen) {
                      FocusInput();
                      if (chosen.isEmpty()) return;
                      const QFileInfo info(chosen);
                      if (info.fileName().isEmpty()) return;
                      file_dialog_folder_ = info.absolutePath();
                      auto send = [this, chosen] {
                        if (!core_.files().SendFile(chosen, true)) {
                          dialogs_.Message(this, QStringLiteral("機能エラー"),
                                           QStringLiteral("ファイル：") + chosen +
                                               QStringLiteral("を読み込めません"),
                                           Dialogs::Icon::Critical);
                        }
                      };
                      if (info.size() > FileTransfer::kLargeFile) {
                        dialogs_.ConfirmOkCancel(
                            this, QStringLiteral("確認メッセージ"),
                            QStringLiteral("大きなファイルを開こうとしています。続けますか？"),
                            [send](bool yes) {
                              if (yes) send();
                            });
                        return;
                      }
                      send();
                    });
}

void MainWindow::OpenWithShell(const QString& path) {
  if (dialogs_.OpenWithShell(path)) return;
  QString text;
  if (!QFileInfo::exists(path)) {
    text = QFileInfo::exists(QFileInfo(path).absolutePath())
               ? QStringLiteral("ファイルが見つかりません。")
               : QStringLiteral("ファイルのパスが見つかりません。");
  } else {
    text = QStringLiteral("その他のエラー") +
           QStringLiteral("（このファイルを開くアプリケーションがありません）");
  }
  dialogs_.Message(this, windowTitle(), text, Dialogs::Icon::Critical);
}

// --- help, logs, appearance ------------------------------------------------------------------

void MainWindow::ShowVersion() {
  const QString text = QStringLiteral("Quillora ver %1.%2.%3β")
                           .arg(kVersionMajor)
                           .arg(kVersionMinor)
                           .arg(kVersionRevision) +
                       QStringLiteral("\n\nネット越しにTRPGを遊ぶためのチャットツールです。") +
                       QStringLiteral("\n\nサーバになる方はTCPポート%1番を開けておいて下さい。")
                           .arg(core_.session().Port()) +
                       QStringLiteral("\n") + PortAdvice(core_.CurrentReachability()) +
                       QStringLiteral("\n\n不具合や要望は、開発者までお知らせ下さい。");
  dialogs_.Message(this, QStringLiteral("バージョン情報"), text, Dialogs::Icon::Information,
                   [this] { FocusInput(); });
}

void MainWindow::SaveLog(bool rich, bool ask) {
  Instance& inst = core_.instance();
  const QString extension = rich ? QStringLiteral(".rtf") : QStringLiteral(".txt");
  auto write = [this, rich](const QString& path) {
    const bool ok =
        rich ? core_.chat_log().SaveMainAsRtf(path) : core_.chat_log().SaveMainAsText(path);
    if (!ok) {
      dialogs_.Message(this, QStringLiteral("機能エラー"),
                       QStringLiteral("ファイル：") + path + QStringLiteral("に保存できません"),
                       Dialogs::Icon::Critical);
    }
  };

  const QString& remembered = rich ? inst.rtf_log_file : inst.text_log_file;
  if (!ask && !remembered.isEmpty()) {
    const QString& folder = rich ? inst.settings.RtfSaveDir : inst.settings.TextSaveDir;
    write(ManualSavePath(folder, remembered, extension));
    return;
  }
  const QString filter = rich ? QStringLiteral("リッチテキストファイル(*.rtf) (*.rtf)")
                              : QStringLiteral("テキストファイル(*.TXT) (*.txt)");
  const QString start = inst.PathOf(rich ? inst.settings.RtfSaveDir : inst.settings.TextSaveDir);
  dialogs_.SaveFile(this, rich ? QStringLiteral("RTFで保存") : QStringLiteral("会話ログを保存"),
                    start, filter, extension.mid(1),
                    [this, rich, write, extension](const QString& chosen) {
                      FocusInput();
                      if (chosen.isEmpty()) return;
                      Instance& in = core_.instance();
                      const SavePathParts parts = SplitSavePath(chosen);
                      QString& dir = rich ? in.settings.RtfSaveDir : in.settings.TextSaveDir;
                      QString& name = rich ? in.rtf_log_file : in.text_log_file;
                      dir = parts.folder;
                      name = parts.file_name;
                      if (name.isEmpty()) return;
                      write(ManualSavePath(dir, name, extension));
                    });
}

void MainWindow::ApplyAppearance() {
  const Settings& s = core_.instance().settings;
  ApplyColors(txt_mess_, s.Color[kColorInputText], s.Color[kColorInputBack]);
  ApplyColors(rtb_main_, s.Color[kColorChatText], s.Color[kColorChatBack]);
  ApplyColors(lst_redir_, s.Color[kColorReDirText], s.Color[kColorReDirBack]);
  ApplyColors(lst_send_, s.Color[kColorSendText], s.Color[kColorSendBack]);
  ApplyFont(txt_mess_, s.Font[kFontInput]);
  ApplyFont(rtb_main_, s.Font[kFontChat]);
  ApplyFont(lst_redir_, s.Font[kFontReDir]);
  ApplyFont(lst_send_, s.Font[kFontSend]);
  QPalette pal = centralWidget()->palette();
  pal.setColor(QPalette::Window, FromBgr(s.Color[kColorMainBack]));
  centralWidget()->setPalette(pal);
  centralWidget()->setAutoFillBackground(true);
  const int line = txt_mess_->fontMetrics().lineSpacing();
  txt_mess_->setFixedHeight(line * 2 + 14);
}

void MainWindow::RestoreFromSettings() {
  const Settings& s = core_.instance().settings;
  const double tpp = TwipsPerPixel(this);
  int w = static_cast<int>(s.frmMain_Width / tpp);
  int h = static_cast<int>(s.frmMain_Height / tpp);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize avail = screen->availableSize();
    w = std::clamp(w, 320, std::max(320, avail.width()));
    h = std::clamp(h, 240, std::max(240, avail.height()));
  }
  resize(w, h);
  restoring_ = true;
  multi_line_->setChecked(s.AllowMulitMes);
  show_redir_->setChecked(s.ReDirListBox);
  show_send_->setChecked(s.SendToListBox);
  reset_redir_->setChecked(s.ReDirListReset);
  reset_send_->setChecked(s.SendToListRset);
  restoring_ = false;
  const int level = (s.ExecuteLevel >= 0 && s.ExecuteLevel < 7) ? s.ExecuteLevel : 0;
  policy_sub_[level]->setChecked(true);
  // A ceiling typed into the settings file by hand checks neither entry.
  for (QAction* a : rate_sub_) a->setChecked(false);
  if (s.FileSendRate == FileTransfer::kDefaultRate) rate_sub_[0]->setChecked(true);
  if (s.FileSendRate == FileTransfer::kThinLineRate) rate_sub_[1]->setChecked(true);
  LayoutLists();
  ApplyAppearance();
}

void MainWindow::StoreWindowStateIntoSettings() {
  Settings& s = core_.instance().settings;
  s.frmMain_WindowMode = isMinimized() ? 1 : (isMaximized() ? 2 : 0);
  // The stored size is always the normal size, also for a maximised window.
  const QRect normal = (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
  const double tpp = TwipsPerPixel(this);
  if (normal.isValid()) {
    s.frmMain_Width = static_cast<float>(std::round(normal.width() * tpp));
    s.frmMain_Height = static_cast<float>(std::round(normal.height() * tpp));
  }
  StoreMenuChecksIntoSettings();
  for (int i = 0; i < 7; ++i) {
    if (policy_sub_[i]->isChecked()) {
      s.ExecuteLevel = i;
      break;
    }
  }
}

void MainWindow::StoreMenuChecksIntoSettings() {
  if (restoring_) return;
  Settings& s = core_.instance().settings;
  s.AllowMulitMes = multi_line_->isChecked();
  s.ReDirListBox = show_redir_->isChecked();
  s.SendToListBox = show_send_->isChecked();
  s.ReDirListReset = reset_redir_->isChecked();
  s.SendToListRset = reset_send_->isChecked();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    StoreWindowStateIntoSettings();
    emit aboutToSaveSettings();
    core_.Shutdown();
    for (const auto& tool : tools_) {
      if (tool) tool->close();
    }
  }
  event->accept();
  QMainWindow::closeEvent(event);
}

// --- the table file and the HTML log -------------------------------------------------------------

namespace {
const QString kTableFilter = QStringLiteral("卓ファイル (*.qtable)");
}  // namespace

void MainWindow::AddTableFileActions(QMenu* file) {
  AddSeparator(file, QStringLiteral("mnuFileSub_Table"));
  QAction* open = AddAction(file, QStringLiteral("卓を開く…"), QStringLiteral("mnuFileTableOpen"));
  QAction* save = AddAction(file, QStringLiteral("卓を保存"), QStringLiteral("mnuFileTableSave"));
  QAction* save_as =
      AddAction(file, QStringLiteral("名前を付けて保存…"), QStringLiteral("mnuFileTableSaveAs"));
  AddSeparator(file, QStringLiteral("mnuFileSub_Html"));
  QAction* html = AddAction(file, QStringLiteral("HTMLで保存…"), QStringLiteral("mnuFileHtml"));
  connect(open, &QAction::triggered, this, [this] { OpenTableFile(); });
  connect(save, &QAction::triggered, this, [this] { SaveTableFile(false); });
  connect(save_as, &QAction::triggered, this, [this] { SaveTableFile(true); });
  connect(html, &QAction::triggered, this, [this] { SaveLogAsHtml(); });
  // The file is written on its own thread; a save that failed there is said here.
  connect(&core_.table_keeper(), &TableKeeper::saveFailed, this, [this](const QString& path) {
    dialogs_.Message(this, QStringLiteral("機能エラー"),
                     QStringLiteral("ファイル：") + path + QStringLiteral("に保存できません"),
                     Dialogs::Icon::Critical, [this] { FocusInput(); });
  });
}

void MainWindow::OpenTableFile() {
  // A client's tools follow the server's; only the host (or nobody yet) opens a table.
  if (core_.instance().SessionMode == ModeClient ||
      core_.instance().SessionMode == ModeConnecting) {
    dialogs_.Message(this, QStringLiteral("卓を開く"),
                     QStringLiteral("卓を開けるのは、サーバになっている時か接続していない時です。"),
                     Dialogs::Icon::Information, [this] { FocusInput(); });
    return;
  }
  TableKeeper& keeper = core_.table_keeper();
  const QString folder =
      QFileInfo(keeper.IsOpen() ? keeper.Path() : keeper.DefaultPath()).absolutePath();
  dialogs_.OpenFile(this, QStringLiteral("卓を開く"), folder, kTableFilter,
                    [this](const QString& chosen) {
                      FocusInput();
                      if (!chosen.isEmpty()) core_.table_keeper().Open(chosen);
                    });
}

void MainWindow::SaveTableFile(bool ask) {
  TableKeeper& keeper = core_.table_keeper();
  if (!ask && keeper.IsOpen()) {
    keeper.Save();
    return;
  }
  const QString folder =
      QFileInfo(keeper.IsOpen() ? keeper.Path() : keeper.DefaultPath()).absolutePath();
  dialogs_.SaveFile(this, QStringLiteral("名前を付けて保存"), folder, kTableFilter,
                    TableKeeper::kSuffix, [this](const QString& chosen) {
                      FocusInput();
                      if (chosen.isEmpty()) return;
                      TableKeeper& k = core_.table_keeper();
                      if (k.IsOpen()) {
                        k.SaveAs(chosen);
                      } else {
                        k.Create(chosen);
                      }
                    });
}

void MainWindow::SaveLogAsHtml() {
  dialogs_.Confirm(
      this, QStringLiteral("HTMLで保存"),
      QStringLiteral("秘密通達と非公開ダイスの結果もHTMLに含めますか？\n"
                     "（「いいえ」で、それらを除いたログになります）"),
      [this](bool include_private) {
        const QString start = core_.instance().PathOf(core_.instance().settings.TextSaveDir);
        dialogs_.SaveFile(
            this, QStringLiteral("HTMLで保存"), start, QStringLiteral("HTMLファイル (*.html)"),
            QStringLiteral("html"), [this, include_private](const QString& chosen) {
              FocusInput();
              if (chosen.isEmpty()) return;
              ChatHtmlOptions options;
              options.title = QStringLiteral("チャットログ ") +
                              QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
              options.whisper_markers = {QStringLiteral("秘密通達)：")};
              options.secret_markers = {kSecretDicePrefix};
              options.leave_out_private = !include_private;
              if (!core_.chat_log().SaveMainAsHtml(chosen, options)) {
                dialogs_.Message(
                    this, QStringLiteral("機能エラー"),
                    QStringLiteral("ファイル：") + chosen + QStringLiteral("に保存できません"),
                    Dialogs::Icon::Critical);
              }
            });
      });
}

}  // namespace quillora
