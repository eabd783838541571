// SPDX-License-Identifier: MIT
#include "stagepictures.h"

#include "boundedcanvas.h"
#include "safesvg.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace Vorlan {

namespace {

// Schema pictures are named by the host's configuration and read here, not
// by Qt, whose readers trust them: they block for ever on a FIFO, read a
// device without end, and follow names inside a drawing to other files.
// A picture is a regular file of at most SafeSvg::maxBytes, read whole;
// anything else, and a name with a NUL that would cut it short to some
// other file, reads as nothing.
QByteArray readPicture(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return {};
    // Non-blocking, so that opening a FIFO returns at once; no controlling
    // terminal should the name be one.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {};
    QByteArray bytes;
    struct stat status;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= SafeSvg::maxBytes) {
        // One byte more than the file has, to see it grow meanwhile.
        bytes.resize(int(status.st_size) + 1);
        int filled = 0;
        bool failed = false;
        while (filled < bytes.size()) {
            const ssize_t count = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
            if (count < 0 && errno == EINTR)
                continue;
            failed = count < 0;
            if (count <= 0)
                break;
            filled += int(count);
        }
        bytes.truncate(failed || filled > status.st_size ? 0 : filled);
    }
    ::close(fd);
    return bytes;
}

bool isGzip(const QByteArray &bytes)
{
    return bytes.startsWith("\x1f\x8b");
}

// A compressed drawing, inflated here because Qt would inflate it without
// bound; a drawing that inflates beyond SafeSvg::maxBytes is not drawn.
QByteArray inflateGzip(const QByteArray &compressed)
{
    z_stream stream{};
    // Gzip framing only: 16 more window bits.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return {};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());
    QByteArray inflated;
    int result = Z_OK;
    while (result == Z_OK && inflated.size() <= SafeSvg::maxBytes) {
        const int filled = inflated.size();
        const int room = int(qMin<qint64>(64 * 1024, SafeSvg::maxBytes + 1 - filled));
        inflated.resize(filled + room);
        stream.next_out = reinterpret_cast<Bytef *>(inflated.data() + filled);
        stream.avail_out = uInt(room);
        result = inflate(&stream, Z_NO_FLUSH);
        inflated.resize(filled + room - int(stream.avail_out));
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END || inflated.size() > SafeSvg::maxBytes)
        return {};
    return inflated;
}

// The drawing in bytes read from a file, made safe for Qt's SVG renderer;
// false when there is none to draw.
bool loadDrawing(QSvgRenderer *renderer, const QByteArray &bytes)
{
    const QByteArray drawing = SafeSvg::clean(isGzip(bytes) ? inflateGzip(bytes) : bytes);
    return !drawing.isEmpty() && renderer->load(drawing);
}

// A schema is drawn from the SVG file of the same name beside it.
QString svgSibling(const QString &schema)
{
    const QFileInfo info(schema);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QLatin1String(".svg");
}

// Draws the SVG drawing of the file over the whole pixmap; leaves the
// pixmap as it was if there is none, or no time is left.
void drawOver(QPixmap *pixmap, const QString &svgFile, QDeadlineTimer deadline)
{
    QSvgRenderer renderer;
    if (!deadline.hasExpired() && loadDrawing(&renderer, readPicture(svgFile))) {
        BoundedCanvas canvas(pixmap, deadline);
        QPainter painter(&canvas);
        renderer.render(&painter);
    }
}

} // namespace

StagePictures::StagePictures(const QSize &size)
    : m_deadline(maxMilliseconds)
    , m_size(size)
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
        m_plan = QPixmap(m_size);
        m_plan.fill(Qt::white);
        if (!planSvg.isEmpty())
            drawOver(&m_plan, planSvg, m_deadline);
    }
    // Shared until the overlay is drawn: a stage without one costs no pixels of its own.
    QPixmap pixmap = m_plan;
    drawOver(&pixmap, svgSibling(stageSchema), m_deadline);
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Normal, QIcon::Off);
    return icon;
}

QIcon StagePictures::picture(const QString &file)
{
    // Drawn here and now, as Qt's icon engines would show it in the list,
    // so that nothing reads the file again later.
    if (m_deadline.hasExpired())
        return {};
    QByteArray bytes = readPicture(file);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    QPixmap pixmap;
    if (isGzip(bytes) || reader.format().startsWith("svg")) {
        // At its own size, scaled to fit, on transparent ground.
        QSvgRenderer renderer;
        if (!loadDrawing(&renderer, bytes))
            return {};
        QSize size = renderer.defaultSize();
        if (!size.isNull())
            size.scale(m_size, Qt::KeepAspectRatio);
        if (size.isEmpty())
            return {};
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        BoundedCanvas canvas(&image, m_deadline);
        QPainter painter(&canvas);
        renderer.render(&painter);
        painter.end();
        pixmap = QPixmap::fromImage(image);
    } else {
        QImage image;
        if (!SafeSvg::rasterFits(reader) || !reader.read(&image))
            return {};
        // Only ever smaller, never larger than it is.
        pixmap = QPixmap::fromImage(image);
        QSize size = pixmap.size();
        if (size.width() > m_size.width() || size.height() > m_size.height()) {
            size.scale(m_size, Qt::KeepAspectRatio);
            pixmap = pixmap.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
    }
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Normal, QIcon::Off);
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
