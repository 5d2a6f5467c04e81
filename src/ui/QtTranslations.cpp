#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace quillora {

QTranslator* InstallQtTranslations(const QLocale& locale) {
  auto* translator = new QTranslator(QCoreApplication::instance());
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  const QString prefix = QStringLiteral("_");
  const bool loaded = translator->load(locale, QStringLiteral("qtbase"), prefix, folder) ||
                      translator->load(QLocale(QLocale::Japanese, QLocale::Japan),
                                       QStringLiteral("qtbase"), prefix, folder);
  if (!loaded || !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return nullptr;
  }
  return translator;
}

}  // namespace quillora
