#include "dice/RankJudge.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "dice/DiceLanguage.h"
#include "dice/DiceNumber.h"
#include "text/Width.h"

namespace quillora {

namespace {

// Letters for margins -3 .. 7 of each row.
constexpr const char* kRankTable[7] = {
    "EEEEDDDDCCB", "EEEDCCCCCBA", "EDDCCCCCBAA", "EDDCCCBBBAS",
    "EDDCCCBBASS", "EDDCBBBBASS", "EDDCBBAAASS",
};

// A follow-up roll never rolls more dice than this.
constexpr int kMaxFollowUpDice = 1000;

// A 16-bit whole number as the user typed it ("12", "+1", "-2").
std::optional<int> ReadShort(QStringView text) {
  const auto number = ParseDiceNumber(text);
  if (!number) return std::nullopt;
  const auto whole = ToDiceLong(*number);
  if (!whole || *whole < INT16_MIN || *whole > INT16_MAX) return std::nullopt;
  return *whole;
}

// "+0;-0": a sign in front of zero and positive values too.
QString Signed(int64_t value) {
  return value >= 0 ? QLatin1Char('+') + QString::number(value) : QString::number(value);
}

int Die(Random& rng) { return static_cast<int>(std::floor(rng.Next() * 6 + 1)); }

struct FollowUp {
  int count = 0;      // X
  int add = 0;        // Y
  bool dice = false;  // written as XD±Y
};

std::optional<FollowUp> ReadFollowUp(const QString& field) {
  FollowUp follow;
  const qsizetype d = field.indexOf(QLatin1Char('D'), 1);
  if (d < 0) {
    if (field.isEmpty()) return follow;  // "SG:12:3:0:" asks for the rank's dice alone
    const auto add = ReadShort(field);
    if (!add) return std::nullopt;
    follow.add = *add;
    return follow;
  }
  follow.dice = true;
  const auto count = ReadShort(QStringView(field).left(d));
  if (!count || *count < 0 || *count > kMaxFollowUpDice) return std::nullopt;
  follow.count = *count;
  // Everything after the D is the signed number ("2D+1", "2D-10"); nothing after it means 0.
  const QStringView rest = QStringView(field).mid(d + 1).trimmed();
  if (!rest.isEmpty()) {
    const auto add = ReadShort(rest);
    if (!add) return std::nullopt;
    follow.add = *add;
  }
  return follow;
}

}  // namespace

int RankValue(QChar rank) {
  switch (rank.unicode()) {
    case u'S':
      return 3;
    case u'A':
      return 2;
    case u'B':
      return 1;
    case u'C':
      return 0;
    case u'D':
      return -1;
    default:
      return -99;
  }
}

QString JudgeRank(const QString& text, int modifier, Random& rng) {
  QString input;
  try {
    input = ToHalfWidth(text);
    const qsizetype comment = input.indexOf(QLatin1Char('\''));
    if (comment >= 0) input.truncate(comment);
    input = input.trimmed();

    const QStringList fields = input.split(QLatin1Char(':'));
    if (fields.size() < 4) return input + QString::fromUtf16(kDiceErrorSuffix);
    const auto target_field = ReadShort(fields[1]);
    const auto row = ReadShort(fields[2]);
    const auto modifier_field = ReadShort(fields[3]);
    if (!target_field || !row || !modifier_field || *row < 0 || *row > 6) {
      return input + QString::fromUtf16(kDiceErrorSuffix);
    }
    std::optional<FollowUp> follow;
    if (fields.size() > 4) {
      follow = ReadFollowUp(fields[4].trimmed().toUpper());
      if (!follow) return input + QString::fromUtf16(kDiceErrorSuffix);
    }
    const int target = std::clamp(*target_field, 10, 15);
    const int extra = std::clamp(*modifier_field, -3, 3);

    std::vector<int> dice(static_cast<size_t>(std::abs(extra) + 3));
    for (int& die : dice) die = Die(rng);
    if (extra >= 2) {
      std::stable_sort(dice.begin(), dice.end());
    } else if (extra != 0) {
      std::stable_sort(dice.begin(), dice.end(), std::greater<int>());
    }

    QChar rank;
    const int sum = dice[0] + dice[1] + dice[2];
    if (dice[0] <= 2 && dice[1] <= 2 && dice[2] <= 2) {
      rank = QLatin1Char('S');
    } else if (dice[0] < 5 || dice[1] < 5 || dice[2] < 5) {
      const int margin = std::clamp(target - sum, -3, 7);
      rank = QLatin1Char(kRankTable[*row][margin + 3]);
    } else {
      rank = QLatin1Char('E');
    }

    QString out = input;
    out += QLatin1String("=(");
    for (size_t i = 0; i < dice.size(); ++i) {
      if (dice.size() > 3 && i == 0) out += QLatin1Char('[');
      if (i > 0 && !(dice.size() > 3 && i == 3)) out += QLatin1Char(',');
      out += QString::number(dice[i]);
      if (dice.size() > 3 && i == 2) out += QLatin1String("] ");
    }
    out += QStringLiteral(")=評価:");
    out += rank;
    if (!follow) return out;
    if (rank == QLatin1Char('E')) return out + QStringLiteral("/判定失敗");

    out += QLatin1Char('/');
    if (follow->dice) {
      out += QString::number(follow->count) + QLatin1Char('D') + Signed(follow->add);
    } else if (follow->add != 0) {
      out += Signed(follow->add);
    }
    const int value = RankValue(rank);
    out += Signed(value);
    out += QLatin1String("D=(");
    int64_t total = 0;
    for (int i = 0; i < follow->count + value; ++i) {
      const int die = Die(rng);
      if (i > 0) out += QLatin1Char(',');
      out += QString::number(die);
      total += die;
    }
    out += QLatin1Char(')');
    if (follow->add != 0) out += Signed(follow->add);
    if (modifier != 0) out += Signed(modifier);
    out += QLatin1Char('=');
    out += QString::number(static_cast<int64_t>(modifier) + follow->add + total);
    return out;
  } catch (...) {
    return input + QString::fromUtf16(kDiceErrorSuffix);
  }
}

}  // namespace quillora
