#include "app/display/PlayButtons.h"

#include "app/play/PlayCodes.h"

#include <QCoreApplication>

namespace playbuttons {

namespace {

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
        return {"Stop", QCoreApplication::translate("CDisplayBox", "Stop")};
    case PlayPause:
        return {"Play", QCoreApplication::translate("CDisplayBox", "Play")};
    case Slow:
        return {"Slow", QCoreApplication::translate("CDisplayBox", "Slow")};
    case Fast:
        return {"Fast", QCoreApplication::translate("CDisplayBox", "Fast")};
    case NextFrame:
        return {"NextFrame", QCoreApplication::translate("CDisplayBox", "NextFrame")};
    case Audio:
        return {"AudioOff", QCoreApplication::translate("CDisplayBox", "Audio")};
    default:
        return {};
    }
}

Look playLook(int nPlayStatus)
{
    if (nPlayStatus == playcodes::StatusPlaying)
        return {"Pause", QCoreApplication::translate("CDisplayBox", "Pause")};
    return {"Play", QCoreApplication::translate("CDisplayBox", "Play")};
}

Look fastLook(int nSpeed)
{
    using namespace playcodes;
    if (nSpeed <= SpeedNormal)
        return {"Fast", QCoreApplication::translate("CDisplayBox", "Fast")};
    const int n = qMin(nSpeed, int(SpeedMax)) - SpeedNormal;
    Look look{QString("Fast_%1X_").arg(power(n)), QString("%1_X%2").arg(QCoreApplication::translate("CDisplayBox", "Fast"), power(n))};
    if (nSpeed >= SpeedMax)
        look.strTip = QCoreApplication::translate("CDisplayBox", "Single I frame playback");
    return look;
}

Look slowLook(int nSpeed)
{
    using namespace playcodes;
    if (nSpeed >= SpeedNormal)
        return {"Slow", QCoreApplication::translate("CDisplayBox", "Slow")};
    const int n = SpeedNormal - qMax(nSpeed, int(SpeedMin));
    return {QString("Slow_1_%1X_").arg(power(n)), QString("%1_X1/%2").arg(QCoreApplication::translate("CDisplayBox", "Slow"), power(n))};
}

Look audioLook(int nSound)
{
    if (nSound != 0)
        return {"AudioOn", QCoreApplication::translate("CDisplayBox", "AudioOn")};
    return {"AudioOff", QCoreApplication::translate("CDisplayBox", "AudioOff")};
}

}  // namespace playbuttons
