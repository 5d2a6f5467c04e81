#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>

class QAction;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTextEdit;
class QTimer;
class QToolButton;

namespace quillora {

class AppCore;
class AppearanceDialog;
class Dialogs;

// A status bar panel that reports which mouse button clicked it.
class PanelLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
 signals:
  void clicked(int button);  // 1 = left, 2 = right

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

// The main chat window: chat area, input box, the addressee and destination lists, the status
// bar and the menus from which every tool window is opened.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Tool numbers of the tools menu.
  enum Tool {
    kDice = 0,
    kCards,
    kDrawing,
    kHexMap,
    kCounters,
    kTable,
    kInstantMessages,
    kScenario,
    kToolCount
  };

  MainWindow(AppCore& core, Dialogs& dialogs, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Registers the window of tool `tool`; the tools menu shows and hides it and keeps its check.
  void SetToolWindow(int tool, QWidget* window);
  QWidget* ToolWindow(int tool) const;
  // Shows or hides a tool window as the tools-menu entry does.
  void ToggleTool(int tool);
  // Shows a tool window (and checks its entry) without announcing it.
  void ShowTool(int tool);
  // Runs when the dice window should take the keyboard (Ctrl+D).
  void SetDiceFocusHandler(std::function<void()> handler) { dice_focus_ = std::move(handler); }
  // The hex map's set-up dialog that precedes showing the map in ServerMode.
  void SetHexSetupHandler(std::function<void(std::function<void()>)> handler) {
    hex_setup_ = std::move(handler);
  }

  // Applies the settings' fonts and colours to the window's controls.
  void ApplyAppearance();
  // Start-up steps that concern this window: size, list visibility, menu checks, window state.
  void RestoreFromSettings();

  QPlainTextEdit* input() const { return txt_mess_; }
  QAction* menu_action(const QString& object_name) const;

  // True when this window is the active window of the application.
  bool IsInFront() const;

  // Sends the input box's text as the send button does.
  void SendMessage();
  // Gives the input box the keyboard: at start-up and after each dialog of this window.
  void FocusInput();

 signals:
  // Emitted on closing, just before the settings file is written: windows that keep settings
  // of their own put them into the live record now.
  void aboutToSaveSettings();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildWidgets();
  void BuildMenus();
  void BuildStatusBar();
  // The check entries of the settings menu that the settings record keeps.
  std::array<QAction*, 5> SettingChecks() const;
  void WireModels();
  void UpdateTitle(const QString& title);
  void UpdateConnectedMenus(bool connected);
  void RefreshLists();
  void ShowWhisperTarget();
  void LayoutLists();

  bool HandleShortcut(QKeyEvent* key);
  void SwitchBuffer(int n);
  void PreviousBuffer();
  void NextBuffer();
  void AfterSendReset();
  void StepList(QListWidget* list, int delta);

  void OnConnectCommand();
  void OnShowIp();
  void OnShowNetworkInfo();
  void OnChangeHandle();
  void OnHandlePanelClicked(int button);
  void OnBufferPanelClicked(int button);
  void OnToolClosed(int tool);
  void ShowVersion();
  void OnSendFile();
  void BuildFileProgress();
  void OnFileProgress(bool sending, const QString& name, int k, int n);
  void OpenWithShell(const QString& path);
  void SaveLog(bool rich, bool ask);
  // The table file and the HTML log (ファイル menu).
  void AddTableFileActions(QMenu* file);
  void OpenTableFile();
  void SaveTableFile(bool ask);
  void SaveLogAsHtml();
  void StoreWindowStateIntoSettings();
  void StoreMenuChecksIntoSettings();

  AppCore& core_;
  Dialogs& dialogs_;

  QTextEdit* rtb_main_ = nullptr;
  QPlainTextEdit* txt_mess_ = nullptr;
  QPushButton* cmd_mess_send_ = nullptr;
  QListWidget* lst_redir_ = nullptr;
  QListWidget* lst_send_ = nullptr;
  QWidget* list_column_ = nullptr;
  QSplitter* splitter_ = nullptr;

  PanelLabel* panel_sys_ = nullptr;
  PanelLabel* panel_handle_ = nullptr;
  PanelLabel* panel_buf_ = nullptr;
  QLabel* panel_time_ = nullptr;
  QTimer* clock_ = nullptr;
  QProgressBar* file_progress_ = nullptr;
  QToolButton* file_cancel_ = nullptr;

  QMenu* menu_ext_ = nullptr;
  // Menu entries the window changes later (objectNames keep the menu positions).
  QAction* become_server_ = nullptr;            // mnuConSub_0
  QAction* connect_ = nullptr;                  // mnuConSub_1
  QAction* disconnect_ = nullptr;               // mnuConSub_3
  QAction* multi_line_ = nullptr;               // mnuSetSub_3: Enter does not send
  QAction* show_redir_ = nullptr;               // mnuSetSub_5
  QAction* show_send_ = nullptr;                // mnuSetSub_6
  QAction* reset_redir_ = nullptr;              // mnuSetSub_7
  QAction* reset_send_ = nullptr;               // mnuSetSub_8
  std::array<QAction*, kToolCount> ext_sub_{};  // by Tool
  std::array<QAction*, 7> policy_sub_{};        // by receiving policy (ExecuteLevel)
  std::array<QAction*, 2> rate_sub_{};          // file sending rate ceiling
  std::array<QPointer<QWidget>, kToolCount> tools_{};
  std::function<void()> dice_focus_;
  std::function<void(std::function<void()>)> hex_setup_;

  AppearanceDialog* appearance_ = nullptr;
  QString file_dialog_folder_;
  bool syncing_lists_ = false;
  bool closing_ = false;
  bool restoring_ = false;
};

}  // namespace quillora
