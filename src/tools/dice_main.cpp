// quillora-dice: rolls dice expressions from the command line as the dice window's roll button
// would, one result line per expression.
#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "core/Random.h"
#include "dice/DiceOptions.h"
#include "dice/DiceRoll.h"

using namespace quillora;

namespace {

const char kUsage[] =
    "Usage: quillora-dice [--seed N] [--modifier M] [--set L=FLAGS[,COMMENT]]... [EXPRESSION...]\n"
    "\n"
    "Rolls each EXPRESSION as the dice window's roll button would and prints one result line\n"
    "per expression. Without expressions, reads one expression per line from standard input.\n"
    "\n"
    "  --seed N        seed the random generator (default: from the clock)\n"
    "  --modifier M    the modifier, -32768..32767 (default 0)\n"
    "  --set L=FLAGS[,COMMENT]\n"
    "                  define dice option set L (a letter A-Z except D) with a flags word\n"
    "  --              end of options; everything after it is an expression\n"
    "  -h, --help      show this text\n";

struct Options {
  uint64_t seed = 0;
  bool seeded = false;
  int modifier = 0;
  DiceOptions sets;
  QStringList expressions;
};

bool ParseSet(const QString& value, DiceOptions& sets) {
  const qsizetype equals = value.indexOf(QLatin1Char('='));
  if (equals != 1) return false;
  const QChar letter = value[0].toUpper();
  if (letter < QLatin1Char('A') || letter > QLatin1Char('Z') || letter == QLatin1Char('D')) {
    return false;
  }
  const QString rest = value.mid(2);
  const qsizetype comma = rest.indexOf(QLatin1Char(','));
  bool ok = false;
  const int flags = (comma < 0 ? rest : rest.left(comma)).trimmed().toInt(&ok);
  if (!ok) return false;
  return sets.RegisterDiceOptionSet(QString(letter), flags,
                                    comma < 0 ? QString() : rest.mid(comma + 1));
}

// Parses the arguments; nullopt with *exit_code set when the program should stop.
std::optional<Options> ParseArguments(const QStringList& args, int* exit_code) {
  Options options;
  bool only_expressions = false;
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (only_expressions || !arg.startsWith(QLatin1String("-")) || arg == QLatin1String("-") ||
        (!arg.startsWith(QLatin1String("--")) && arg != QLatin1String("-h"))) {
      // "-2^2" and "-1D6" are expressions, not options.
      options.expressions.push_back(arg);
      continue;
    }
    if (arg == QLatin1String("--")) {
      only_expressions = true;
      continue;
    }
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      std::fputs(kUsage, stdout);
      *exit_code = 0;
      return std::nullopt;
    }
    QString name = arg;
    QString value;
    const qsizetype equals = arg.indexOf(QLatin1Char('='));
    const bool inline_value = equals > 0;
    if (inline_value) {
      name = arg.left(equals);
      value = arg.mid(equals + 1);
    }
    const bool known = name == QLatin1String("--seed") || name == QLatin1String("--modifier") ||
                       name == QLatin1String("--set");
    if (!known) {
      std::fprintf(stderr, "quillora-dice: unknown option %s\n\n", qPrintable(arg));
      std::fputs(kUsage, stderr);
      *exit_code = 2;
      return std::nullopt;
    }
    if (!inline_value) {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "quillora-dice: %s needs a value\n\n", qPrintable(name));
        std::fputs(kUsage, stderr);
        *exit_code = 2;
        return std::nullopt;
      }
      value = args[++i];
    }
    bool ok = false;
    if (name == QLatin1String("--seed")) {
      options.seed = value.toULongLong(&ok);
      options.seeded = ok;
    } else if (name == QLatin1String("--modifier")) {
      options.modifier = value.toShort(&ok);
    } else {
      ok = ParseSet(value, options.sets);
    }
    if (!ok) {
      std::fprintf(stderr, "quillora-dice: bad value for %s: %s\n\n", qPrintable(name),
                   qPrintable(value));
      std::fputs(kUsage, stderr);
      *exit_code = 2;
      return std::nullopt;
    }
  }
  return options;
}

void PrintLine(const QString& line) {
  const QByteArray bytes = line.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int exit_code = 0;
  const std::optional<Options> options = ParseArguments(app.arguments(), &exit_code);
  if (!options) return exit_code;

  const uint64_t seed =
      options->seeded
          ? options->seed
          : static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  Random rng(seed);
  if (!options->expressions.isEmpty()) {
    for (const QString& expression : options->expressions) {
      PrintLine(RollDiceExpression(expression, options->modifier, options->sets, rng));
    }
    return 0;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const QString expression = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    PrintLine(RollDiceExpression(expression, options->modifier, options->sets, rng));
  }
  return 0;
}
