#include "scenario/ScenarioWindow.h"

#include <QActionGroup>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <functional>

#include "core/Instance.h"
#include "scenario/ScenarioPlayer.h"
#include "ui/Dialogs.h"
#include "ui/ToolMenus.h"

namespace quillora {

namespace {

const QString kFilter = QStringLiteral("シナリオファイル(*.txt) (*.txt)");
const QString kSuffix = QStringLiteral("txt");

// The scenario text box; reports the paragraph under the caret after a double-click.
class ScenarioTextEdit : public QTextEdit {
 public:
  using QTextEdit::QTextEdit;
  std::function<void(int)> on_double_click;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QTextEdit::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && on_double_click) {
      on_double_click(textCursor().blockNumber());
    }
  }
};

}  // namespace

ScenarioWindow::ScenarioWindow(Instance& instance, ScenarioPlayer& player, Dialogs& dialogs,
                               QWidget* parent)
    : QMainWindow(parent), instance_(instance), player_(player), dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmScenario"));
  setWindowTitle(QStringLiteral("シナリオ機能"));

  auto* text = new ScenarioTextEdit;
  text->setObjectName(QStringLiteral("rtbMain"));
  text->setAcceptRichText(false);
  text->setLineWrapMode(QTextEdit::WidgetWidth);
  text->on_double_click = [this](int line) { PlayLine(line); };
  rtbMain_ = text;

  lstLabel_ = new QListWidget;
  lstLabel_->setObjectName(QStringLiteral("lstLabel"));
  // Room for about ten full-width characters of a label name.
  lstLabel_->setFixedWidth(lstLabel_->fontMetrics().horizontalAdvance(QStringLiteral("あ")) * 10 +
                           lstLabel_->frameWidth() * 2 +
                           lstLabel_->verticalScrollBar()->sizeHint().width());
  connect(lstLabel_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { JumpToLabel(item->text()); });

  auto* central = new QWidget;
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->setSpacing(2);
  layout->addWidget(rtbMain_, 1);
  layout->addWidget(lstLabel_);
  setCentralWidget(central);

  BuildMenus();
  // A reopened table brings back the scenario and the line the game master had reached.
  // (A table opened at start-up is in place before this window exists.)
  connect(&player_.place(), &ScenarioPlace::restored, this, &ScenarioWindow::FollowPlace);
  FollowPlace();
  setMinimumSize(240, 160);
  resize(520, 420);
}

void ScenarioWindow::BuildMenus() {
  AddSingleModeMenu(menuBar(), QStringLiteral("汎用モード"));

  QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル"));
  file->setObjectName(QStringLiteral("mnuFile"));
  QAction* open = file->addAction(QStringLiteral("開く"), this, &ScenarioWindow::OpenFromDialog);
  open->setObjectName(QStringLiteral("mnuFileSub_0"));
  QAction* save = file->addAction(QStringLiteral("保存"), this, &ScenarioWindow::SaveFromDialog);
  save->setObjectName(QStringLiteral("mnuFileSub_1"));

  QMenu* options = menuBar()->addMenu(QStringLiteral("オプション"));
  options->setObjectName(QStringLiteral("mnuOpt"));
  topmost_ = AddTopmostAction(options, this, QStringLiteral("常に手前に表示"),
                              QStringLiteral("mnuOptSub_0"));
  label_list_ = options->addAction(QStringLiteral("ラベルリストを表示"));
  label_list_->setObjectName(QStringLiteral("mnuOptSub_1"));
  label_list_->setCheckable(true);
  label_list_->setChecked(true);
  connect(label_list_, &QAction::toggled, this, &ScenarioWindow::ShowLabelList);
}

void ScenarioWindow::ShowLabelList(bool shown) {
  // The layout gives the text box the whole width while the list is hidden.
  lstLabel_->setVisible(shown);
}

void ScenarioWindow::OpenFromDialog() {
  dialogs_.OpenFile(this, QStringLiteral("開く"), instance_.ProgramFolder(), kFilter,
                    [this](const QString& path) {
                      if (!path.isEmpty()) LoadScenario(path);
                    });
}

void ScenarioWindow::SaveFromDialog() {
  dialogs_.SaveFile(this, QStringLiteral("保存"), instance_.ProgramFolder(), kFilter, kSuffix,
                    [this](const QString& path) {
                      if (!path.isEmpty()) SaveScenario(path);
                    });
}

bool ScenarioWindow::LoadScenario(const QString& path) {
  ScenarioFile file;
  QString error;
  if (!LoadScenarioFile(path, &file, &error)) {
    // A name that does not exist simply loads nothing; an unreadable file says why.
    if (QFileInfo::exists(path)) {
      dialogs_.Message(this, QStringLiteral("ファイル読み込みエラー"), path + u'\n' + error,
                       Dialogs::Icon::Warning);
    }
    return false;
  }
  encoding_ = file.encoding;
  QString text = file.text.lines.join(u'\n');
  if (!file.text.lines.isEmpty()) text += u'\n';
  rtbMain_->setPlainText(text);
  lstLabel_->clear();
  lstLabel_->addItems(file.text.labels);
  rtbMain_->moveCursor(QTextCursor::Start);
  player_.place().SetFile(QFileInfo(path).absoluteFilePath());
  return true;
}

bool ScenarioWindow::SaveScenario(const QString& path) {
  ScenarioEncoding used = encoding_;
  QString error;
  const QStringList lines = rtbMain_->toPlainText().split(u'\n');
  if (!SaveScenarioFile(path, lines, encoding_, &used, &error)) {
    dialogs_.Message(this, QStringLiteral("機能エラー"),
                     QStringLiteral("ファイルを保存できませんでした。\n") + path + u'\n' + error,
                     Dialogs::Icon::Warning);
    return false;
  }
  if (used != encoding_) {
    dialogs_.Message(this, QStringLiteral("確認メッセージ"),
                     QStringLiteral("Shift-JISで表せない文字があるため、UTF-8で保存しました。"),
                     Dialogs::Icon::Information);
    encoding_ = used;
  }
  return true;
}

bool ScenarioWindow::JumpToLabel(const QString& name) {
  const int line = FindLabelLine(Lines(), name);
  if (line < 0) return false;
  ShowLine(line);
  player_.place().SetLine(line);
  return true;
}

void ScenarioWindow::FollowPlace() {
  const QString file = player_.place().file();
  const int line = player_.place().line();
  if (file.isEmpty() || !LoadScenario(file)) return;
  ShowLine(line);
  player_.place().SetLine(line);
}

void ScenarioWindow::ShowLine(int line) {
  // From the end back up to the label, so the label line comes into view at the top.
  rtbMain_->moveCursor(QTextCursor::End);
  rtbMain_->ensureCursorVisible();
  const QTextBlock block = rtbMain_->document()->findBlockByNumber(line);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  rtbMain_->setTextCursor(cursor);
  rtbMain_->ensureCursorVisible();
  rtbMain_->setFocus();  // so the caret shows where the label is
}

void ScenarioWindow::PlayLine(int index) {
  const LineAction action = player_.Play(Lines(), index);
  player_.place().SetLine(index);
  if (action.kind == LineAction::kJump) JumpToLabel(action.label);
}

QStringList ScenarioWindow::Lines() const {
  QStringList lines;
  for (QTextBlock block = rtbMain_->document()->begin(); block.isValid(); block = block.next()) {
    lines.append(block.text());
  }
  return lines;
}

QStringList ScenarioWindow::Labels() const {
  QStringList labels;
  for (int i = 0; i < lstLabel_->count(); ++i) labels.append(lstLabel_->item(i)->text());
  return labels;
}

}  // namespace quillora
