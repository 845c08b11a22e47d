#ifndef ORVELLE_TOOLS_SKINRENDER_SKIN_MANIFEST_H
#define ORVELLE_TOOLS_SKINRENDER_SKIN_MANIFEST_H

// The list of skin images to render and the colour schemes of the button
// states.
//
// Manifest lines (blank lines and lines starting with '#' are skipped):
//   button NAME SOURCE.svg [WxH] [label=TEXT]
//       buttons/NAMENormal.png, NAMEHover.png, NAMEDis.png (default 40x40)
//   pair   NAME SOURCE.svg WxH [label=TEXT]
//       icons/NAME.png and icons/NAME_hover.png
//   icon   NAME SOURCE.svg WxH [label=TEXT]
//       icons/NAME.png
//
// The sources are drawn in the normal state's colours; the other states are
// made by replacing those colours (see stateColours()). "@label@" in a
// source is replaced by the entry's label.

#include <QList>
#include <QPair>
#include <QSize>
#include <QString>

enum class SkinState { Normal, Hover, Disabled };

struct SkinImage
{
    QString outPath;     // relative to the skin folder
    QString source;      // SVG file name, relative to the source folder
    QSize size;
    SkinState state = SkinState::Normal;
    QString label;
};

// Parses a manifest; on failure returns false and sets *pError to
// "line N: reason".
bool parseSkinManifest(const QString& text, QList<SkinImage>* pImages, QString* pError);

// Colour replacements (normal colour -> state colour) for a state.
QList<QPair<QString, QString>> stateColours(SkinState state);

// The SVG text of an image: colours of its state and its label filled in.
QString applySkinState(QString svg, const SkinImage& image);

#endif
