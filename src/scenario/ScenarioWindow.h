#pragma once

#include <QMainWindow>
#include <QStringList>

#include "scenario/Scenario.h"

class QAction;
class QListWidget;
class QTextEdit;

namespace quillora {

class Dialogs;
class Instance;
class ScenarioPlayer;

// frmScenario: shows a scenario text with its label list. A double-click on a line plays it
// into the chat or follows its jump; the label list jumps to a label.
class ScenarioWindow : public QMainWindow {
  Q_OBJECT

 public:
  ScenarioWindow(Instance& instance, ScenarioPlayer& player, Dialogs& dialogs,
                 QWidget* parent = nullptr);

  // The file menu's entries, without their dialogs.
  // Replaces the scenario with the file's; a missing file leaves everything as it was.
  bool LoadScenario(const QString& path);
  bool SaveScenario(const QString& path);

  // Moves the view to the first "#LABEL:" + name; false when there is none.
  bool JumpToLabel(const QString& name);
  // Acts on line `index` of the text as a double-click on it does.
  void PlayLine(int index);

  // The text box, one entry per paragraph.
  QStringList Lines() const;
  QStringList Labels() const;

 private:
  void BuildMenus();
  void OpenFromDialog();
  void SaveFromDialog();
  void ShowLabelList(bool shown);
  // Brings line `line` into view at the top with the caret on it.
  void ShowLine(int line);
  // Loads the scenario the place names and shows its line.
  void FollowPlace();

  Instance& instance_;
  ScenarioPlayer& player_;
  Dialogs& dialogs_;
  QTextEdit* rtbMain_ = nullptr;
  QListWidget* lstLabel_ = nullptr;
  QAction* topmost_ = nullptr;
  QAction* label_list_ = nullptr;
  ScenarioEncoding encoding_ = ScenarioEncoding::kCp932;
};

}  // namespace quillora
