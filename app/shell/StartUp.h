#ifndef ORVELLE_APP_SHELL_STARTUP_H
#define ORVELLE_APP_SHELL_STARTUP_H

// Pieces of the program's start-up that depend only on the resource folder
// (appdir) and the settings: the skin's style sheet, the translation file for
// the chosen language, the window icon, the disk images named on the command
// line, and the answers to --help and --version.

#include <QIcon>
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
// Qt's own texts (the folder and file choosers, standard buttons) for the
// same setting: "qtbase_zh_CN" or "qtbase_ru", to be looked up in Qt's
// translation folder; empty for English and unknown values.
QString qtTranslationName(const QString& strLanguage);

// The files given with "--disk-image FILE" (or "--disk-image=FILE"), in
// order. Other arguments are left alone.
QStringList diskImageArguments(const QStringList& arguments);

// The program icon in every size rendered for it
// (appdir/skin/icons/orvelle_N.png, N = the hicolor sizes), or
// appdir/skin/icons/logo.png when none of them is there.
QIcon windowIcon(const QString& strAppDir);
// The icon sizes rendered into the skin (the desktop's hicolor sizes).
QList<int> programIconSizes();

// What "orvelle --help" and "orvelle --version" print.
QString helpText();
QString versionText();
// Answers "--help" (or "-h") and "--version" before the application object
// exists, so that they need no display: prints the text on standard output
// and returns 0; -1 when neither is asked for. The word after "--disk-image"
// is a file name, not an option.
int answerInfoOption(int argc, char** argv);

}  // namespace startup

#endif
