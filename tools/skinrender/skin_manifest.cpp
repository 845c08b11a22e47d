#include "skin_manifest.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// The normal state's palette, as written in the SVG sources.
const char* const kGlyph = "#d0d5db";      // the symbol itself
const char* const kFace = "#2b2f35";       // the round button face
const char* const kRing = "#444a52";       // the face's outline
const char* const kAccent = "#0489f5";     // highlights, labels
const char* const kTitleFace = "#1f2226";  // title-bar button face (invisible)
const char* const kCloseFace = "#1f2227";  // the close button's face (invisible)

bool parseSize(const QString& text, QSize* pSize)
{
    const QRegularExpression re("^(\\d{1,4})x(\\d{1,4})$");
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    const int w = m.captured(1).toInt();
    const int h = m.captured(2).toInt();
    if (w <= 0 || h <= 0)
        return false;
    *pSize = QSize(w, h);
    return true;
}

}  // namespace

QList<QPair<QString, QString>> stateColours(SkinState state)
{
    switch (state) {
    case SkinState::Normal:
        return {};
    case SkinState::Hover:
        return {{kGlyph, "#ffffff"},     {kFace, "#0b64b0"},      {kRing, "#3aa6ff"},
                {kAccent, "#9fd4ff"},    {kTitleFace, "#3a4048"}, {kCloseFace, "#d9363e"}};
    case SkinState::Disabled:
        return {{kGlyph, "#5f646b"},     {kFace, "#232528"},      {kRing, "#2f3338"},
                {kAccent, "#4b5057"},    {kTitleFace, "#1f2226"}, {kCloseFace, "#1f2227"}};
    }
    return {};
}

QString applySkinState(QString svg, const SkinImage& image)
{
    // Replace through placeholders so that one replacement never feeds
    // another (a hover colour that equals some normal colour).
    const auto colours = stateColours(image.state);
    for (int i = 0; i < colours.size(); ++i)
        svg.replace(colours[i].first, QString("@c%1@").arg(i), Qt::CaseInsensitive);
    for (int i = 0; i < colours.size(); ++i)
        svg.replace(QString("@c%1@").arg(i), colours[i].second);
    svg.replace("@label@", image.label.toHtmlEscaped());
    return svg;
}

bool parseSkinManifest(const QString& text, QList<SkinImage>* pImages, QString* pError)
{
    const QStringList lines = text.split('\n');
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        auto fail = [&](const QString& why) {
            *pError = QString("line %1: %2").arg(n + 1).arg(why);
            return false;
        };
        QStringList words = line.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
        if (words.size() < 3)
            return fail("expected KIND NAME SOURCE");
        const QString kind = words.takeFirst();
        const QString name = words.takeFirst();
        const QString source = words.takeFirst();
        if (name.contains('/') || name.contains("..") || source.contains(".."))
            return fail("names must stay inside their folders");

        QSize size;
        QString label;
        bool haveSize = false;
        for (const QString& word : words) {
            if (word.startsWith("label="))
                label = word.mid(6);
            else if (parseSize(word, &size))
                haveSize = true;
            else
                return fail("unknown option " + word);
        }

        auto add = [&](const QString& out, SkinState state) {
            SkinImage image;
            image.outPath = out;
            image.source = source;
            image.size = size;
            image.state = state;
            image.label = label;
            pImages->append(image);
        };
        if (kind == "button") {
            if (!haveSize)
                size = QSize(40, 40);
            add("buttons/" + name + "Normal.png", SkinState::Normal);
            add("buttons/" + name + "Hover.png", SkinState::Hover);
            add("buttons/" + name + "Dis.png", SkinState::Disabled);
        } else if (kind == "pair" || kind == "icon") {
            if (!haveSize)
                return fail("size WxH missing");
            add("icons/" + name + ".png", SkinState::Normal);
            if (kind == "pair")
                add("icons/" + name + "_hover.png", SkinState::Hover);
        } else {
            return fail("unknown kind " + kind);
        }
    }
    return true;
}
