#include "app/shell/StartUp.h"

#include <QFile>

#include <cstdio>
#include <cstring>

namespace startup {

QString loadStyleSheet(const QString& strAppDir)
{
    QFile file(QString("%1/skin/style.ss").arg(strAppDir));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    QString strStyle = QString::fromUtf8(file.readAll());
    file.close();
    strStyle.replace(QStringLiteral("@skinpath"), strAppDir + "/skin", Qt::CaseSensitive);
    return strStyle;
}

QString translationFile(const QString& strAppDir, const QString& strLanguage)
{
    if (strLanguage == QLatin1String("SimpChinese"))
        return strAppDir + "/language/orvelle_zh.qm";
    if (strLanguage == QLatin1String("Russian"))
        return strAppDir + "/language/orvelle_ru.qm";
    return QString();
}

QString qtTranslationName(const QString& strLanguage)
{
    if (strLanguage == QLatin1String("SimpChinese"))
        return QStringLiteral("qtbase_zh_CN");
    if (strLanguage == QLatin1String("Russian"))
        return QStringLiteral("qtbase_ru");
    return QString();
}

QStringList diskImageArguments(const QStringList& arguments)
{
    static const QString kOption = QStringLiteral("--disk-image");
    QStringList images;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == kOption) {
            if (i + 1 < arguments.size())
                images << arguments.at(++i);
        } else if (arg.startsWith(kOption + "=")) {
            images << arg.mid(kOption.size() + 1);
        }
    }
    return images;
}

QList<int> programIconSizes()
{
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QIcon windowIcon(const QString& strAppDir)
{
    QIcon icon;
    for (int n : programIconSizes()) {
        const QString strFile = QString("%1/skin/icons/orvelle_%2.png").arg(strAppDir).arg(n);
        if (QFile::exists(strFile))
            icon.addFile(strFile, QSize(n, n));
    }
    if (icon.isNull())
        icon = QIcon(QString("%1/skin/icons/logo.png").arg(strAppDir));
    return icon;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: orvelle [--disk-image FILE]... [QT-OPTION]...\n"
        "Plays, exports and cuts the recordings on the hard disks of digital video\n"
        "recorders, reading the disk or its image read-only.\n"
        "\n"
        "Without --disk-image the machine's whole-disk block devices are scanned for\n"
        "recorder disks; reading them needs read access to their device nodes.\n"
        "\n"
        "Options:\n"
        "  --disk-image FILE   read this recorder disk image instead of the machine's\n"
        "                      drives (may be given more than once)\n"
        "  -h, --help          show this help and exit\n"
        "  --version           show the version and exit\n"
        "\n"
        "Qt's own options (such as -platform offscreen) are accepted too.\n");
}

QString versionText()
{
    return QStringLiteral("orvelle " ORVELLE_VERSION "\n");
}

int answerInfoOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* szArg = argv[i];
        if (std::strcmp(szArg, "--disk-image") == 0) {
            ++i;
        } else if (std::strcmp(szArg, "--help") == 0 || std::strcmp(szArg, "-h") == 0) {
            std::fputs(helpText().toLocal8Bit().constData(), stdout);
            return 0;
        } else if (std::strcmp(szArg, "--version") == 0) {
            std::fputs(versionText().toLocal8Bit().constData(), stdout);
            return 0;
        }
    }
    return -1;
}

}  // namespace startup
