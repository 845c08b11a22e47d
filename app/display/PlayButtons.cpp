#include "app/display/PlayButtons.h"

#include <QCoreApplication>

namespace playbuttons {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("CDisplayBox", text);
}

// 2^n printed in its shortest form ("2", "16").
QString power(int n)
{
    return QString::number(double(1 << n), 'g');
}

}  // namespace

QString styleSheet(const QString& strAppDir, const QString& strIcon)
{
    return QString("QToolButton{border:0px;background:transparent;"
                   "border-image:url(%1/skin/buttons/%2Normal.png);}"
                   "QToolButton:hover{border:0px;background:transparent;"
                   "border-image:url(%1/skin/buttons/%2Hover.png);}"
                   "QToolButton:pressed{border:0px;background:transparent;"
                   "border-image:url(%1/skin/buttons/%2Hover.png);}"
                   "QToolButton:disabled{border:0px;background:transparent;"
                   "border-image:url(%1/skin/buttons/%2Dis.png);}")
        .arg(strAppDir, strIcon);
}

Look initialLook(int nId)
{
    switch (nId) {
    case Stop:
        return {"Stop", tr("Stop")};
    case PlayPause:
        return {"Play", tr("Play")};
    case Slow:
        return {"Slow", tr("Slow")};
    case Fast:
        return {"Fast", tr("Fast")};
    case NextFrame:
        return {"NextFrame", tr("NextFrame")};
    case Audio:
        return {"AudioOff", tr("Audio")};
    default:
        return {};
    }
}

Look playLook(int nPlayStatus)
{
    if (nPlayStatus == 1)
        return {"Pause", tr("Pause")};
    return {"Play", tr("Play")};
}

Look fastLook(int nSpeed)
{
    if (nSpeed <= 5)
        return {"Fast", tr("Fast")};
    const int n = qMin(nSpeed, 9) - 5;
    Look look{QString("Fast_%1X_").arg(power(n)), QString("%1_X%2").arg(tr("Fast"), power(n))};
    if (nSpeed >= 9)
        look.strTip = tr("Single I frame playback");
    return look;
}

Look slowLook(int nSpeed)
{
    if (nSpeed >= 5)
        return {"Slow", tr("Slow")};
    const int n = 5 - qMax(nSpeed, 1);
    return {QString("Slow_1_%1X_").arg(power(n)), QString("%1_X1/%2").arg(tr("Slow"), power(n))};
}

Look audioLook(int nSound)
{
    if (nSound != 0)
        return {"AudioOn", tr("AudioOn")};
    return {"AudioOff", tr("AudioOff")};
}

}  // namespace playbuttons
