// SPDX-License-Identifier: MIT
#include "stagepictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>

namespace Vorlan {

namespace {

// Schema pictures are named by the host's configuration, and Qt's readers
// trust them: they block for ever on a FIFO, decode a raster image whole
// whatever size it declares (10000 x 10000 in a 2 MB file), and recurse
// without end through an SVG image that names an SVG drawing, itself
// included. The bounds lie far above any junction plan; all of this ends
// in a 200 x 125 icon.
constexpr qint64 maxPictureBytes = 8 * 1024 * 1024;
constexpr qint64 maxPicturePixels = 4096 * 4096;

// Missing files and folders are harmless: reading them fails at once. A
// NUL would cut the name short, to some other file.
bool harmlessFile(const QString &path)
{
    if (path.contains(QChar(0)))
        return false;
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return true;
    return info.isFile() && info.size() <= maxPictureBytes;
}

// An image that Qt decodes whole, as an SVG drawing includes it.
bool harmlessImage(QImageReader &reader)
{
    if (reader.format().startsWith("svg"))
        return false;
    const QSize size = reader.size();
    return !size.isValid() || qint64(size.width()) * size.height() <= maxPicturePixels;
}

bool harmlessImageFile(const QString &path)
{
    if (!harmlessFile(path))
        return false;
    if (!QFileInfo(path).isFile())
        return true;
    QImageReader reader(path);
    return harmlessImage(reader);
}

// Whether Qt may be handed a schema picture: the file itself, and if it is
// an SVG drawing, every image it includes, inline or by name (relative
// names count from the drawing's folder and, to be safe, from ours).
bool harmlessPicture(const QString &path)
{
    if (!harmlessFile(path))
        return false;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return true;
    const QDir folder = QFileInfo(path).absoluteDir();
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("image"))
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        for (const QXmlStreamAttribute &attribute : attributes) {
            if (attribute.name() != QLatin1String("href"))
                continue;
            const QString href = attribute.value().toString();
            if (href.startsWith(QLatin1String("data"))) {
                // As Qt's SVG reader takes them: base64 after the last "base64,".
                const int data = href.lastIndexOf(QLatin1String("base64,"));
                if (data < 0)
                    continue;
                QByteArray bytes = QByteArray::fromBase64(href.midRef(data + 7).toLatin1());
                QBuffer buffer(&bytes);
                QImageReader reader(&buffer);
                if (!harmlessImage(reader))
                    return false;
            } else if (!harmlessImageFile(href) || !harmlessImageFile(folder.absoluteFilePath(href))) {
                return false;
            }
        }
    }
    file.close();
    QImageReader reader(path);
    return reader.format().startsWith("svg") || harmlessImage(reader);
}

// A schema is drawn from the SVG file of the same name beside it.
QString svgSibling(const QString &schema)
{
    const QFileInfo info(schema);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QLatin1String(".svg");
}

// The white ground of a composed picture with the plan drawn over it;
// white alone when the plan has no file or its file does not load.
QPixmap planPicture(const QString &planSvg, const QSize &size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QSvgRenderer renderer;
    if (!planSvg.isEmpty() && harmlessPicture(planSvg) && renderer.load(planSvg)) {
        QPainter painter(&pixmap);
        renderer.render(&painter);
    }
    return pixmap;
}

} // namespace

StagePictures::StagePictures(const QSize &size)
    : m_size(size)
{
}

bool StagePictures::isComposed(const QString &stageSchema)
{
    const QString suffix = QFileInfo(stageSchema).suffix();
    return suffix == QLatin1String("wmf") || suffix == QLatin1String("emf");
}

QIcon StagePictures::composed(const QString &planSchema, const QString &stageSchema)
{
    // An empty path names no file; its "sibling" would be /.svg.
    const QString planSvg = planSchema.isEmpty() ? QString() : svgSibling(planSchema);
    // Every composed picture of a list lies on the controller's plan, the
    // costly drawing: it is drawn once, on white, and each stage's overlay
    // is drawn on a copy of it. Keyed by the plan's file, since the
    // controller names its plan anew for every stage.
    if (m_plan.isNull() || planSvg != m_planFile) {
        m_planFile = planSvg;
        m_plan = planPicture(planSvg, m_size);
    }
    // Shared until the overlay is drawn: a stage without one costs no pixels of its own.
    QPixmap pixmap = m_plan;
    QSvgRenderer renderer;
    const QString stageDrawing = svgSibling(stageSchema);
    if (harmlessPicture(stageDrawing) && renderer.load(stageDrawing)) {
        QPainter painter(&pixmap);
        renderer.render(&painter);
    }
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Normal, QIcon::Off);
    return icon;
}

QIcon StagePictures::picture(const QString &file)
{
    QIcon icon;
    if (harmlessPicture(file))
        icon.addFile(file, QSize(), QIcon::Normal, QIcon::Off);
    return icon;
}

QIcon StagePictures::blank()
{
    // Blank rather than whatever a new pixmap's memory held.
    if (m_blank.isNull()) {
        QPixmap pixmap(m_size);
        pixmap.fill(Qt::transparent);
        m_blank = QIcon(pixmap);
    }
    return m_blank;
}

} // namespace Vorlan
