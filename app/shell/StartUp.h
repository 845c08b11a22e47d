#ifndef ORVELLE_APP_SHELL_STARTUP_H
#define ORVELLE_APP_SHELL_STARTUP_H

// Pieces of the program's start-up that depend only on the executable's
// folder (appdir) and the settings: the skin's style sheet, the translation
// file for the chosen language and the disk images named on the command line.

#include <QString>
#include <QStringList>

namespace startup {

// The text of appdir/skin/style.ss with every "@skinpath" (exactly that
// case) replaced by appdir + "/skin"; empty when the file cannot be read.
QString loadStyleSheet(const QString& strAppDir);

// The translation for a language setting: "SimpChinese" and "Russian" name
// appdir/language/orvelle_zh.qm and orvelle_ru.qm; any other value (also
// another letter case) names none.
QString translationFile(const QString& strAppDir, const QString& strLanguage);

// The files given with "--disk-image FILE" (or "--disk-image=FILE"), in
// order. Other arguments are left alone.
QStringList diskImageArguments(const QStringList& arguments);

}  // namespace startup

#endif
