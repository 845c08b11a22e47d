#include "app/shell/StartUp.h"

#include <QFile>

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

}  // namespace startup
