#include <QApplication>
#include <cstdio>

#include "app/CommandLine.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QString error;
  bool help = false;
  const auto options = quillora::CommandLine::Parse(app.arguments().mid(1), &error, &help);
  if (!options) {
    if (!help) std::fprintf(stderr, "quillora: %s\n", qPrintable(error));
    std::fputs(qPrintable(quillora::CommandLine::Usage()), help ? stdout : stderr);
    return help ? 0 : 2;
  }
  return 0;
}
