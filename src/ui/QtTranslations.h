#pragma once

#include <QLocale>
#include <QString>

class QTranslator;

namespace quillora {

// Loads Qt's own translations of its standard dialogs and buttons (file, font, colour and input
// dialogs, OK/Cancel, Yes/No): the language of `locale` when Qt has it, else Japanese, the
// language of everything else in the program. The translator belongs to the application;
// returns it, or nullptr when no translation could be found.
QTranslator* InstallQtTranslations(const QLocale& locale);

}  // namespace quillora
