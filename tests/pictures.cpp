// SPDX-License-Identifier: MIT
#include "pictures.h"

#include "fifowatch.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPointF>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

const QSize Pictures::listIconSize(200, 125);
const QByteArray Pictures::planBody = "<rect x=\"0\" y=\"0\" width=\"100\" height=\"125\" fill=\"#ff0000\"/>";
const QByteArray Pictures::overlayBody = "<rect x=\"80\" y=\"40\" width=\"40\" height=\"40\" fill=\"#0000ff\"/>";
const QByteArray Pictures::normalSize = "width=\"200\" height=\"125\" viewBox=\"0 0 200 125\"";

QByteArray Pictures::svg(const QByteArray &body, const QByteArray &prologue, const QByteArray &size)
{
    return prologue
        + "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\" "
        + size + ">" + body + "</svg>\n";
}

QByteArray Pictures::png(const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool Pictures::makeFile(const QDir &dir, const QString &name, const QString &kind,
                        QList<QSharedPointer<FifoWatch>> *fifos)
{
    const QString path = dir.filePath(name);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    const QByteArray native = QFile::encodeName(path);
    if (kind == QLatin1String("dir"))
        return QDir().mkpath(path);
    if (kind == QLatin1String("fifo")) {
        if (!fifos || ::mkfifo(native.constData(), 0644) != 0)
            return false;
        fifos->append(QSharedPointer<FifoWatch>::create(path));
        return true;
    }
    if (kind == QLatin1String("zero"))
        return ::symlink("/dev/zero", native.constData()) == 0;
    if (kind == QLatin1String("socket")) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(native.size()) >= sizeof address.sun_path)
            return false;
        qstrcpy(address.sun_path, native.constData());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        // The socket stays in the folder after its descriptor is closed.
        const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        return bound;
    }
    QByteArray content;
    if (kind == QLatin1String("plan")) {
        content = svg(planBody);
    } else if (kind == QLatin1String("overlay")) {
        content = svg(overlayBody);
    } else if (kind == QLatin1String("red")) {
        content = svg("<rect x=\"0\" y=\"0\" width=\"200\" height=\"125\" fill=\"#ff0000\"/>");
    } else if (kind == QLatin1String("greensvg")) {
        content = svg("<rect x=\"0\" y=\"0\" width=\"200\" height=\"125\" fill=\"#00ff00\"/>");
    } else if (kind == QLatin1String("green")) {
        content = png(QSize(64, 40));
    } else if (kind == QLatin1String("garbage")) {
        static const char bytes[] = "\x89\x01\x02 <<<svg not really\x00\xff\xfe";
        content = QByteArray(bytes, sizeof bytes - 1);
    } else if (kind != QLatin1String("empty")) {
        content = kind.toUtf8();
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool Pictures::makeFiles(const QDir &dir, const QString &files, QList<QSharedPointer<FifoWatch>> *fifos)
{
    const QStringList entries = files.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        const int equals = entry.indexOf(QLatin1Char('='));
        if (!makeFile(dir, entry.left(equals), entry.mid(equals + 1), fifos))
            return false;
    }
    return true;
}

QChar Pictures::colourLetter(QRgb pixel)
{
    if (qAlpha(pixel) == 0)
        return QLatin1Char('T');
    switch (pixel & 0xffffff) {
    case 0xff0000:
        return QLatin1Char('R');
    case 0x00ff00:
        return QLatin1Char('G');
    case 0x0000ff:
        return QLatin1Char('B');
    case 0x000000:
        return QLatin1Char('K');
    case 0xffffff:
        return QLatin1Char('W');
    default:
        return QLatin1Char('?');
    }
}

QString Pictures::letters(const QIcon &icon)
{
    if (icon.isNull())
        return QStringLiteral("null");
    const QImage image = icon.pixmap(listIconSize).toImage();
    if (image.isNull())
        return QStringLiteral("unread");
    QString letters;
    for (const QPointF &point : {QPointF(0.1, 0.16), QPointF(0.45, 0.48), QPointF(0.55, 0.48), QPointF(0.9, 0.8)})
        letters += colourLetter(image.pixel(int(point.x() * image.width()), int(point.y() * image.height())));
    if (image.size() != listIconSize)
        letters += QStringLiteral(" %1x%2").arg(image.width()).arg(image.height());
    return letters;
}

bool Pictures::containsGreen(const QIcon &icon)
{
    const QImage image = icon.pixmap(listIconSize).toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (colourLetter(image.pixel(x, y)) == QLatin1Char('G'))
                return true;
        }
    }
    return false;
}
