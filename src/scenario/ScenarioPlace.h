#pragma once

#include <QObject>
#include <QString>

#include "core/ToolState.h"

namespace quillora {

// Where the game master is in the scenario: the file shown and the line reached (the line last
// played or jumped to). The scenario window keeps it up to date and follows a restored one.
class ScenarioPlace : public QObject {
  Q_OBJECT

 public:
  const QString& file() const { return file_; }
  int line() const { return line_; }

  // A file was loaded: its first line is where the scenario stands.
  void SetFile(const QString& path);
  void SetLine(int line);
  // The place comes back from the table file; the window loads the file and shows the line.
  void Restore(const QString& path, int line);

 signals:
  void changed();
  void restored();

 private:
  QString file_;
  int line_ = 0;
};

// The scenario place as plain rows.
class ScenarioState : public ToolState {
 public:
  explicit ScenarioState(ScenarioPlace& place);

  QVector<StateTable> Tables() const override;
  void DescribeAll(StateWriter& out) const override;
  void Restore(const StateReader& in) override;
  // The scenario is the game master's own: nothing goes to the players.
  void HandOut(const QVector<int>&) override {}

 private:
  ScenarioPlace& place_;
};

}  // namespace quillora
