// SPDX-License-Identifier: MIT
#include "svgwriter.h"

#include "svgnumber.h"

SvgWriter::SvgWriter(const QSize &size, const QString &title, int decimals)
    : m_decimals(decimals)
    , m_xml(&m_bytes)
{
    m_xml.setAutoFormatting(true);
    m_xml.setAutoFormattingIndent(1);
    m_xml.writeStartDocument();
    m_xml.writeStartElement(QStringLiteral("svg"));
    m_xml.writeDefaultNamespace(QStringLiteral("http://www.w3.org/2000/svg"));
    const QString width = QString::number(size.width());
    const QString height = QString::number(size.height());
    write({{"version", QStringLiteral("1.2")},
           {"baseProfile", QStringLiteral("tiny")},
           {"width", width},
           {"height", height},
           {"viewBox", QStringLiteral("0 0 %1 %2").arg(width, height)}});
    m_xml.writeTextElement(QStringLiteral("title"), title);
}

QString SvgWriter::number(double value) const
{
    return svgNumber(value, m_decimals);
}

QString SvgWriter::points(const QVector<QPointF> &points) const
{
    return svgPoints(points, m_decimals);
}

PathData SvgWriter::path() const
{
    return PathData(m_decimals);
}

void SvgWriter::begin(const char *name, Attributes attributes)
{
    m_xml.writeStartElement(QLatin1String(name));
    write(attributes);
}

void SvgWriter::end()
{
    m_xml.writeEndElement();
}

void SvgWriter::add(const char *name, Attributes attributes)
{
    m_xml.writeEmptyElement(QLatin1String(name));
    write(attributes);
}

void SvgWriter::addText(const char *name, Attributes attributes, const QString &text)
{
    begin(name, attributes);
    m_xml.writeCharacters(text);
    end();
}

void SvgWriter::rect(const QRectF &rect, Attributes more)
{
    add("rect",
        {{"x", number(rect.x())},
         {"y", number(rect.y())},
         {"width", number(rect.width())},
         {"height", number(rect.height())}});
    write(more);
}

void SvgWriter::circle(const QPointF &centre, double radius, Attributes more)
{
    add("circle", {{"cx", number(centre.x())}, {"cy", number(centre.y())}, {"r", number(radius)}});
    write(more);
}

void SvgWriter::line(const QPointF &from, const QPointF &to)
{
    add("path", {{"d", path().move(from).line(to).text()}});
}

QByteArray SvgWriter::finish()
{
    m_xml.writeEndDocument();
    return m_bytes;
}

void SvgWriter::write(Attributes attributes)
{
    for (const Attribute &attribute : attributes)
        m_xml.writeAttribute(QLatin1String(attribute.first), attribute.second);
}
