#include "scenario/ScenarioPlace.h"

namespace quillora {

namespace {
const QString kScenario = QStringLiteral("scenario");
const QString kFile = QStringLiteral("file");
const QString kLine = QStringLiteral("line");
}  // namespace

void ScenarioPlace::SetFile(const QString& path) {
  if (path == file_ && line_ == 0) return;
  file_ = path;
  line_ = 0;
  emit changed();
}

void ScenarioPlace::SetLine(int line) {
  if (line == line_ || line < 0) return;
  line_ = line;
  emit changed();
}

void ScenarioPlace::Restore(const QString& path, int line) {
  file_ = path;
  line_ = qMax(0, line);
  emit restored();
}

ScenarioState::ScenarioState(ScenarioPlace& place) : place_(place) {
  QObject::connect(&place_, &ScenarioPlace::changed, &place_, [this] { MarkChanged(); });
}

QVector<StateTable> ScenarioState::Tables() const { return {{kScenario, {"name", "value"}, 1}}; }

void ScenarioState::DescribeAll(StateWriter& out) const {
  out.Put(kScenario, {kFile, place_.file()});
  out.Put(kScenario, {kLine, place_.line()});
}

void ScenarioState::Restore(const StateReader& in) {
  QString file;
  int line = 0;
  for (const QVariantList& row : in.Rows(kScenario)) {
    if (row.value(0).toString() == kFile) file = row.value(1).toString();
    if (row.value(0).toString() == kLine) line = row.value(1).toInt();
  }
  place_.Restore(file, line);
  MarkDescribed();
}

}  // namespace quillora
