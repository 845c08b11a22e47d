// orvelle-skinrender MANIFEST SOURCE_DIR OUT_DIR
//
// Renders every image listed in the manifest from its SVG source into
// OUT_DIR (buttons/ and icons/). Exits 1 with a message when the manifest,
// a source or an output file cannot be handled.

#include "skin_manifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "orvelle-skinrender: %s\n", qPrintable(message));
    return 1;
}

bool readText(const QString& path, QString* pText)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *pText = QString::fromUtf8(file.readAll());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // Rendering needs fonts but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return fail("usage: orvelle-skinrender MANIFEST SOURCE_DIR OUT_DIR");
    const QString sourceDir = args[2];
    const QString outDir = args[3];

    QString manifest;
    if (!readText(args[1], &manifest))
        return fail("cannot read " + args[1]);
    QList<SkinImage> images;
    QString error;
    if (!parseSkinManifest(manifest, &images, &error))
        return fail(args[1] + ": " + error);

    for (const SkinImage& image : images) {
        QString svg;
        const QString sourcePath = sourceDir + "/" + image.source;
        if (!readText(sourcePath, &svg))
            return fail("cannot read " + sourcePath);
        QSvgRenderer renderer(applySkinState(svg, image).toUtf8());
        if (!renderer.isValid())
            return fail("not a valid SVG: " + sourcePath);

        QImage picture(image.size, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        {
            QPainter painter(&picture);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::TextAntialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size)));
        }

        const QString outPath = outDir + "/" + image.outPath;
        if (!QDir().mkpath(QFileInfo(outPath).absolutePath()))
            return fail("cannot create the folder of " + outPath);
        QSaveFile out(outPath);
        if (!out.open(QIODevice::WriteOnly) || !picture.save(&out, "PNG") || !out.commit())
            return fail("cannot write " + outPath);
    }
    std::printf("orvelle-skinrender: %d images in %s\n", int(images.size()), qPrintable(outDir));
    return 0;
}
