#include "app/CommandLine.h"

#include "core/Instance.h"

namespace quillora {

namespace {

// The options that QGuiApplication and QApplication read themselves, with `takes_value` set for
// those followed by a value.
bool IsQtOption(const QString& name, bool* takes_value) {
  static const char* const kWithValue[] = {"-platform",        "-platformpluginpath",
                                           "-platformtheme",   "-plugin",
                                           "-qwindowgeometry", "-qwindowicon",
                                           "-qwindowtitle",    "-display",
                                           "-geometry",        "-style",
                                           "-stylesheet",      "-session",
                                           "-title",           "-name",
                                           "-qmljsdebugger"};
  static const char* const kAlone[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
  for (const char* option : kWithValue) {
    if (name == QLatin1String(option)) {
      *takes_value = true;
      return true;
    }
  }
  for (const char* option : kAlone) {
    if (name == QLatin1String(option)) {
      *takes_value = false;
      return true;
    }
  }
  // -style=fusion and the like carry their value.
  *takes_value = false;
  const qsizetype eq = name.indexOf(QLatin1Char('='));
  bool with_value = false;
  return eq > 0 && IsQtOption(name.left(eq), &with_value) && with_value;
}

}  // namespace

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
    bool qt_value = false;
    if (!name.startsWith(QLatin1String("--")) && IsQtOption(name, &qt_value)) {
      if (qt_value) ++i;
      continue;
    }
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
      if (help) *help = true;
      return fail(QString());
    } else if (name == QLatin1String("--version")) {
      result.version = true;
    } else if (name == QLatin1String("--server")) {
      if (has_inline_value) return fail(QStringLiteral("--server takes no value"));
      result.server = true;
    } else if (name == QLatin1String("--no-port-mapping")) {
      if (has_inline_value) return fail(QStringLiteral("--no-port-mapping takes no value"));
      result.port_mapping = false;
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
    } else if (name == QLatin1String("--password")) {
      if (!take_value() || value.isEmpty()) return fail(QStringLiteral("--password needs a word"));
      result.password = value;
    } else if (name == QLatin1String("--table")) {
      if (!take_value() || value.isEmpty()) return fail(QStringLiteral("--table needs a file"));
      result.table = value;
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
      "                [--password WORD]\n"
      "                [--table FILE]\n"
      "       quillora --help | --version\n"
      "  --home DIR         program folder (app.ini, log, data, file_Rcv)\n"
      "  --port N           server port and the port clients connect to (default 2001)\n"
      "  --server           start as the server\n"
      "  --connect ADDRESS  connect to a server at start-up (host or host:localport)\n"
      "  --handle NAME      use NAME as the handle for this run\n"
      "  --password WORD    the session password: asked of others when serving, given when\n"
      "                     connecting\n"
      "  --table FILE       host with the table file FILE (created when missing)\n"

      "  --no-port-mapping  do not ask the router to open the port while serving\n");
}

QString CommandLine::VersionText() {
  return QStringLiteral("Quillora %1.%2.%3β\n")
      .arg(kVersionMajor)
      .arg(kVersionMinor)
      .arg(kVersionRevision);
}

}  // namespace quillora
