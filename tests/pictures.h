// SPDX-License-Identifier: MIT
#ifndef VORLAN_TESTS_PICTURES_H
#define VORLAN_TESTS_PICTURES_H

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QSharedPointer>
#include <QSize>
#include <QString>

class FifoWatch;
class QDir;
class QIcon;

// Stage pictures made here rather than kept as files, and what a test
// reads back from the icons a panel shows. The test drawings are told
// apart at four points: the plan fills the left half (x < 100) red, the
// stage overlay is a blue square x 80..120, y 40..80.
class Pictures
{
public:
    static const QSize listIconSize;
    static const QByteArray planBody;
    static const QByteArray overlayBody;
    static const QByteArray normalSize;

    static QByteArray svg(const QByteArray &body, const QByteArray &prologue = {}, const QByteArray &size = normalSize);
    static QByteArray png(const QSize &size, const QColor &colour = QColor(0, 255, 0));

    // A picture file, or something where a picture is expected: plan,
    // overlay, red and greensvg (drawings), green (a PNG), garbage, empty,
    // fifo, zero (a link to /dev/zero), socket, dir, or any other text as
    // the file's content.
    static bool makeFile(const QDir &dir, const QString &name, const QString &kind,
                         QList<QSharedPointer<FifoWatch>> *fifos = nullptr);
    // files: '|'-separated "name=kind" entries, names relative to dir.
    static bool makeFiles(const QDir &dir, const QString &files, QList<QSharedPointer<FifoWatch>> *fifos = nullptr);

    // Letters for the colours the drawings use: Red, Green, Blue, blacK,
    // White, Transparent, and '?' for anything else.
    static QChar colourLetter(QRgb pixel);
    // The colours at the four telling points (plan only, plan and overlay,
    // overlay only, neither), or what else the icon is: "unread" for a file
    // name Qt took but could not draw.
    static QString letters(const QIcon &icon);
    static bool containsGreen(const QIcon &icon);
};

#endif // VORLAN_TESTS_PICTURES_H
