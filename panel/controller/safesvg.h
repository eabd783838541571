// SPDX-License-Identifier: MIT
#ifndef VORLAN_SAFESVG_H
#define VORLAN_SAFESVG_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

class QImageReader;
class QStringRef;
class QXmlStreamReader;
class QXmlStreamWriter;

namespace Vorlan {

// An SVG drawing cut down to what a junction drawing needs, so that Qt's
// SVG renderer, which trusts whatever it reads, can be handed one from an
// untrusted file: shapes, groups, text, gradients, styles. Nothing in it
// names anything outside the document, no entity is declared, and what
// drawing it takes, counted in elements, text, path data and images with
// every <use> repeated, stays within fixed bounds. The document is read
// as Qt's SVG handler reads it, so that both see the same elements.
class SafeSvg
{
public:
    // A picture file, and an SVG drawing once inflated, of more bytes is not drawn.
    static constexpr qint64 maxBytes = 8 * 1024 * 1024;
    // A raster image, and all of one drawing's images together, of more
    // pixels is not decoded: Qt decodes whatever size a header declares.
    static constexpr qint64 maxPixels = 4096 * 4096;

    // The document (not compressed) as Qt may read it: itself when nothing
    // had to go, else a new document of what may stay; null when it cannot
    // be drawn safely at all.
    static QByteArray clean(const QByteArray &document);

    // Whether the image reader is about to decode is a raster image of a
    // format Qt decodes itself, of a declared size within maxPixels.
    static bool rasterFits(QImageReader &reader, qint64 *pixels = nullptr);

private:
    enum class Verdict { Refused, Unchanged, Dropped };
    enum class Kind : quint8;

    struct Frame
    {
        Kind kind;
        // Drawing work before the element began; what came since is its own.
        qint64 workBefore;
        // Levels below it once every <use> is expanded.
        int height;
        int stops;
        QString id;
    };

    // What a <use> or a gradient may name: an element finished earlier.
    struct Finished
    {
        bool closed;
        qint64 work;
        int height;
    };

    static Kind elementKind(const QStringRef &name);
    static bool mayContain(Kind parent, Kind child);

    explicit SafeSvg(const QByteArray &document);
    // With a writer, writes what may stay; without one, stops at the first
    // thing that would have to go.
    Verdict run(QXmlStreamWriter *writer);
    bool startElement(QXmlStreamWriter *writer, bool *dropped);
    bool endElement(QXmlStreamWriter *writer);
    bool characters(QXmlStreamWriter *writer, bool *dropped);

    const QByteArray &m_document;
    QXmlStreamReader *m_xml = nullptr;
    QVector<Frame> m_frames;
    QHash<QString, Finished> m_ids;
    // Depth within an element that is left out, with all it holds.
    int m_skipping = 0;
    int m_textDepth = 0;
    qint64 m_work = 0;
    qint64 m_pixels = 0;
    qint64 m_elements = 0;
    qint64 m_levels = 0;
    qint64 m_styleBytes = 0;
    qint64 m_selectors = 0;
};

} // namespace Vorlan

#endif // VORLAN_SAFESVG_H
