#include "app/CommandLine.h"

namespace quillora {

std::optional<CommandLine> CommandLine::Parse(const QStringList& args, QString* error, bool* help) {
  CommandLine result;
  if (help) *help = false;
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return std::nullopt;
  };
  for (qsizetype i = 0; i < args.size(); ++i) {
    QString name = args[i];
    QString value;
    bool has_inline_value = false;
    if (name.startsWith(QLatin1String("--")) && name.contains(QLatin1Char('='))) {
      const qsizetype eq = name.indexOf(QLatin1Char('='));
      value = name.mid(eq + 1);
      name = name.left(eq);
      has_inline_value = true;
    }
    auto take_value = [&]() -> bool {
      if (has_inline_value) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
      if (help) *help = true;
      return fail(QString());
    } else if (name == QLatin1String("--server")) {
      if (has_inline_value) return fail(QStringLiteral("--server takes no value"));
      result.server = true;
    } else if (name == QLatin1String("--home")) {
      if (!take_value() || value.isEmpty()) return fail(QStringLiteral("--home needs a folder"));
      result.home = value;
    } else if (name == QLatin1String("--port")) {
      bool ok = false;
      const int port = take_value() ? value.toInt(&ok) : 0;
      if (!ok || port < 1 || port > 65535) {
        return fail(QStringLiteral("--port needs a number from 1 to 65535"));
      }
      result.port = port;
    } else if (name == QLatin1String("--connect")) {
      if (!take_value() || value.trimmed().isEmpty()) {
        return fail(QStringLiteral("--connect needs an address"));
      }
      result.connect = value;
    } else if (name == QLatin1String("--handle")) {
      if (!take_value() || value.isEmpty()) return fail(QStringLiteral("--handle needs a name"));
      result.handle = value;
    } else {
      return fail(QStringLiteral("unknown option: %1").arg(args[i]));
    }
  }
  if (result.server && !result.connect.isEmpty()) {
    return fail(QStringLiteral("--server and --connect cannot be used together"));
  }
  return result;
}

QString CommandLine::Usage() {
  return QStringLiteral(
      "usage: quillora [--home DIR] [--port N] [--server | --connect ADDRESS] [--handle NAME]\n"
      "  --home DIR         program folder (app.ini, log, data, file_Rcv)\n"
      "  --port N           server port and the port clients connect to (default 2001)\n"
      "  --server           start as the server\n"
      "  --connect ADDRESS  connect to a server at start-up (host or host:localport)\n"
      "  --handle NAME      use NAME as the handle for this run\n");
}

}  // namespace quillora
