#pragma once

#include <QString>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "core/Random.h"

// Lets failing expectations show texts rather than bytes.
inline void PrintTo(const QString& text, std::ostream* os) { *os << text.toStdString(); }

namespace quillora::test {

// The generator value that makes a die of `sides` faces starting at `lowest` show `face`.
inline double Face(int face, int sides = 6, int lowest = 1) {
  return (face - lowest + 0.5) / sides;
}

// A generator that rolls the given six-sided faces in order.
inline Random D6(std::initializer_list<int> faces) {
  std::vector<double> values;
  for (int f : faces) values.push_back(Face(f));
  return Random::Scripted(values);
}

inline QString Failed(const QString& cleaned) {
  return cleaned + QStringLiteral("　：　評価できません");
}

}  // namespace quillora::test
