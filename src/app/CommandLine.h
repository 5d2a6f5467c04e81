#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace quillora {

// Options for Linux users and for tests. Without options the program behaves as on Windows.
struct CommandLine {
  QString home;              // --home DIR: the program folder
  int port = 2001;           // --port N: listening port and the remote port of connections
  bool server = false;       // --server: start in ServerMode
  QString connect;           // --connect ADDRESS: connect at start-up
  QString handle;            // --handle NAME: the handle for this run
  QString password;          // --password WORD: asked for when serving, answered when joining
  QString table;             // --table FILE: the table file the host keeps its state in
  bool version = false;      // --version: print the version and stop
  bool port_mapping = true;  // --no-port-mapping: do not ask the router to open the port

  // Parses the arguments after the program name, before any window system is needed. Qt's own
  // options (-platform NAME, -style NAME, …) are passed over and left to Qt. On failure returns
  // nullopt and sets `error` to a one-line explanation; `help` is set when --help was asked for.
  static std::optional<CommandLine> Parse(const QStringList& args, QString* error, bool* help);
  static QString Usage();
  static QString VersionText();
};

}  // namespace quillora
