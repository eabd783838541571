// SPDX-License-Identifier: MIT
#ifndef VORLAN_TOOLS_SVGWRITER_H
#define VORLAN_TOOLS_SVGWRITER_H

#include "pathdata.h"

#include <QByteArray>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QVector>
#include <QXmlStreamWriter>

#include <initializer_list>
#include <utility>

// Writes an SVG document one element at a time, one element a line, in
// SVG Tiny 1.2: what the panel's renderer reads. Numbers are rounded to a
// fixed number of decimals, so the same drawing gives the same bytes.
class SvgWriter
{
public:
    using Attribute = std::pair<const char *, QString>;
    using Attributes = std::initializer_list<Attribute>;

    SvgWriter(const QSize &size, const QString &title, int decimals);

    QString number(double value) const;
    QString points(const QVector<QPointF> &points) const;
    // An empty path, its numbers as this document's.
    PathData path() const;

    void begin(const char *name, Attributes attributes = {});
    void end();
    void add(const char *name, Attributes attributes);
    void addText(const char *name, Attributes attributes, const QString &text);

    // The shapes that the drawings use most; more attributes follow the geometry.
    void rect(const QRectF &rect, Attributes more = {});
    void circle(const QPointF &centre, double radius, Attributes more = {});
    // A straight line, as a path.
    void line(const QPointF &from, const QPointF &to);

    QByteArray finish();

private:
    void write(Attributes attributes);

    int m_decimals;
    // Declared before the writer, which writes into it.
    QByteArray m_bytes;
    QXmlStreamWriter m_xml;
};

#endif // VORLAN_TOOLS_SVGWRITER_H
