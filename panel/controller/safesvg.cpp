// SPDX-License-Identifier: MIT
#include "safesvg.h"

#include <QBuffer>
#include <QImageReader>
#include <QVarLengthArray>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <iterator>

namespace Vorlan {

namespace {

// Bounds on the work of drawing: a surveyed junction plan of 3,000 paths
// counts about 6,000, and the costliest elements Qt draws (as large as
// the picture, translucent, stroked, rounded) take about 60 us each here.
// Drawing work counts one per element, 64 more for text and images, which
// Qt lays out glyph by glyph or samples pixel by pixel, one per character
// of text and per 32 bytes of path data; a <use> counts all it repeats.
// What Qt's rasterizer makes of one shape, say a stroke hundreds of pixels
// wide with a join at every point, is no count of the document's: the
// canvas the drawing is rendered on bounds it (see BoundedCanvas).
// Qt's own handler gives up beyond 2048 open elements; drawing recurses
// once per level, through every <use>.
constexpr int maxDepth = 1024;
constexpr qint64 maxWork = 20000;
constexpr qint64 textWork = 64;
constexpr qint64 imageWork = 64;
constexpr int geometryBytesPerWork = 32;
// Qt inserts a gradient's stops one by one into a sorted list.
constexpr int maxStops = 256;
// Qt matches every style rule against every element, walking up its
// ancestors for descendant selectors and through its class names.
constexpr qint64 maxStyleWork = qint64(1) << 25;
constexpr int maxNameLength = 256;

// The raster formats decoded by Qt itself, as told by content; an image
// plug-in of some other package may decode in ways nobody here has looked at.
const char *const rasterFormats[] = {"bmp", "gif", "jpeg", "pbm", "pgm", "png", "ppm", "xbm", "xpm"};

enum class Attribute : quint8 {
    Drop,
    Keep,
    // May hold url(), which must name a fragment of this document.
    Paint,
    // Path data: its length is drawing work.
    Geometry,
    // Compared by style rules or font matching: bounded in length.
    Name,
    Id,
    Href
};

struct Entry
{
    QLatin1String name;
    quint8 value;
};

// The tables below are in order of length: a name is compared only with
// those of its own length, character by character.
template<int N> quint8 lookUp(const QStringRef &name, const Entry (&table)[N], quint8 otherwise)
{
    const int size = name.size();
    const QChar *characters = name.unicode();
    for (const Entry &entry : table) {
        if (entry.name.size() < size)
            continue;
        if (entry.name.size() > size)
            break;
        int i = 0;
        while (i < size && characters[i].unicode() == uchar(entry.name.data()[i]))
            ++i;
        if (i == size)
            return entry.value;
    }
    return otherwise;
}

bool startsWithText(const QStringRef &text, int at, const char *word)
{
    const QLatin1String latin(word);
    return text.mid(at, latin.size()).compare(latin, Qt::CaseInsensitive) == 0;
}

// No reference but to an element of the same document: every url() names
// a fragment. A CSS escape could spell url( in disguise, so there is none.
bool onlyFragmentReferences(const QStringRef &value)
{
    if (value.contains(QLatin1Char('\\')))
        return false;
    const int size = value.size();
    for (int from = value.indexOf(QLatin1Char('(')); from >= 0; from = value.indexOf(QLatin1Char('('), from + 1)) {
        int before = from;
        while (before > 0 && value.at(before - 1).isSpace())
            --before;
        if (before < 3 || !startsWithText(value, before - 3, "url"))
            continue;
        int at = from + 1;
        while (at < size
               && (value.at(at).isSpace() || value.at(at) == QLatin1Char('"') || value.at(at) == QLatin1Char('\'')))
            ++at;
        if (at >= size || value.at(at) != QLatin1Char('#'))
            return false;
    }
    return true;
}

// Style sheets hold rules, and media queries around them, only: another
// at-rule such as @import names another file.
bool plainStyleSheet(const QStringRef &css)
{
    for (int at = css.indexOf(QLatin1Char('@')); at >= 0; at = css.indexOf(QLatin1Char('@'), at + 1)) {
        if (!startsWithText(css, at + 1, "media"))
            return false;
    }
    return onlyFragmentReferences(css);
}

// As Qt's SVG handler takes an inline image: base64 after the last
// "base64,". The value must not need trimming: Qt trims it, and untrimmed
// it might read as a file name somewhere.
bool inlineImageFits(const QStringRef &href, qint64 *pixels)
{
    if (!href.startsWith(QLatin1String("data:")) || href.trimmed().size() != href.size())
        return false;
    const int data = href.lastIndexOf(QLatin1String("base64,"));
    if (data < 0)
        return false;
    QByteArray bytes = QByteArray::fromBase64(href.mid(data + 7).toLatin1());
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    return SafeSvg::rasterFits(reader, pixels);
}

// By qualified name, as Qt's handler reads attributes.
const Entry attributes[] = {
    {QLatin1String("d"), quint8(Attribute::Geometry)},
    {QLatin1String("r"), quint8(Attribute::Keep)},
    {QLatin1String("x"), quint8(Attribute::Keep)},
    {QLatin1String("y"), quint8(Attribute::Keep)},
    {QLatin1String("cx"), quint8(Attribute::Keep)},
    {QLatin1String("cy"), quint8(Attribute::Keep)},
    {QLatin1String("fx"), quint8(Attribute::Keep)},
    {QLatin1String("fy"), quint8(Attribute::Keep)},
    {QLatin1String("id"), quint8(Attribute::Id)},
    {QLatin1String("rx"), quint8(Attribute::Keep)},
    {QLatin1String("ry"), quint8(Attribute::Keep)},
    {QLatin1String("x1"), quint8(Attribute::Keep)},
    {QLatin1String("x2"), quint8(Attribute::Keep)},
    {QLatin1String("y1"), quint8(Attribute::Keep)},
    {QLatin1String("y2"), quint8(Attribute::Keep)},
    {QLatin1String("fill"), quint8(Attribute::Paint)},
    {QLatin1String("href"), quint8(Attribute::Href)},
    {QLatin1String("type"), quint8(Attribute::Keep)},
    {QLatin1String("class"), quint8(Attribute::Name)},
    {QLatin1String("color"), quint8(Attribute::Paint)},
    {QLatin1String("style"), quint8(Attribute::Paint)},
    {QLatin1String("width"), quint8(Attribute::Keep)},
    {QLatin1String("xmlns"), quint8(Attribute::Keep)},
    {QLatin1String("height"), quint8(Attribute::Keep)},
    {QLatin1String("offset"), quint8(Attribute::Keep)},
    {QLatin1String("points"), quint8(Attribute::Geometry)},
    {QLatin1String("stroke"), quint8(Attribute::Paint)},
    {QLatin1String("display"), quint8(Attribute::Keep)},
    {QLatin1String("opacity"), quint8(Attribute::Keep)},
    {QLatin1String("version"), quint8(Attribute::Keep)},
    {QLatin1String("viewBox"), quint8(Attribute::Keep)},
    {QLatin1String("fill-rule"), quint8(Attribute::Keep)},
    {QLatin1String("font-size"), quint8(Attribute::Keep)},
    {QLatin1String("transform"), quint8(Attribute::Keep)},
    {QLatin1String("xml:space"), quint8(Attribute::Keep)},
    {QLatin1String("font-style"), quint8(Attribute::Keep)},
    {QLatin1String("stop-color"), quint8(Attribute::Keep)},
    {QLatin1String("visibility"), quint8(Attribute::Keep)},
    {QLatin1String("xlink:href"), quint8(Attribute::Href)},
    {QLatin1String("baseProfile"), quint8(Attribute::Keep)},
    {QLatin1String("font-family"), quint8(Attribute::Name)},
    {QLatin1String("font-weight"), quint8(Attribute::Keep)},
    {QLatin1String("text-anchor"), quint8(Attribute::Keep)},
    {QLatin1String("fill-opacity"), quint8(Attribute::Keep)},
    {QLatin1String("font-variant"), quint8(Attribute::Keep)},
    {QLatin1String("spreadMethod"), quint8(Attribute::Keep)},
    {QLatin1String("stop-opacity"), quint8(Attribute::Keep)},
    {QLatin1String("stroke-width"), quint8(Attribute::Keep)},
    {QLatin1String("gradientUnits"), quint8(Attribute::Keep)},
    {QLatin1String("vector-effect"), quint8(Attribute::Keep)},
    {QLatin1String("viewport-fill"), quint8(Attribute::Keep)},
    {QLatin1String("stroke-linecap"), quint8(Attribute::Keep)},
    {QLatin1String("stroke-opacity"), quint8(Attribute::Keep)},
    {QLatin1String("systemLanguage"), quint8(Attribute::Keep)},
    {QLatin1String("image-rendering"), quint8(Attribute::Keep)},
    {QLatin1String("stroke-linejoin"), quint8(Attribute::Keep)},
    {QLatin1String("requiredFeatures"), quint8(Attribute::Keep)},
    {QLatin1String("stroke-dasharray"), quint8(Attribute::Keep)},
    {QLatin1String("gradientTransform"), quint8(Attribute::Keep)},
    {QLatin1String("stroke-dashoffset"), quint8(Attribute::Keep)},
    {QLatin1String("stroke-miterlimit"), quint8(Attribute::Keep)},
    {QLatin1String("requiredExtensions"), quint8(Attribute::Keep)},
    {QLatin1String("preserveAspectRatio"), quint8(Attribute::Keep)},
    {QLatin1String("viewport-fill-opacity"), quint8(Attribute::Keep)},
};

Attribute attributeKind(const QStringRef &qualifiedName)
{
    // Namespace declarations mean nothing to Qt's handler, which reads without them.
    if (qualifiedName.startsWith(QLatin1String("xmlns:")))
        return Attribute::Keep;
    return Attribute(lookUp(qualifiedName, attributes, quint8(Attribute::Drop)));
}

} // namespace

// Elements by the name Qt's handler goes by: the local name, whatever the prefix.
enum class SafeSvg::Kind : quint8 {
    Unknown,
    Svg,
    Group,
    Defs,
    Style,
    // Title and description: text, not drawn.
    Label,
    Shape,
    Text,
    Span,
    Use,
    Image,
    Gradient,
    Stop
};

SafeSvg::Kind SafeSvg::elementKind(const QStringRef &name)
{
    static const Entry elements[] = {
        // A link: Qt draws what it holds, as if it held nothing.
        {QLatin1String("a"), quint8(Kind::Group)},
        {QLatin1String("g"), quint8(Kind::Group)},
        {QLatin1String("svg"), quint8(Kind::Svg)},
        {QLatin1String("use"), quint8(Kind::Use)},
        {QLatin1String("defs"), quint8(Kind::Defs)},
        {QLatin1String("desc"), quint8(Kind::Label)},
        {QLatin1String("line"), quint8(Kind::Shape)},
        {QLatin1String("path"), quint8(Kind::Shape)},
        {QLatin1String("rect"), quint8(Kind::Shape)},
        {QLatin1String("stop"), quint8(Kind::Stop)},
        {QLatin1String("text"), quint8(Kind::Text)},
        {QLatin1String("image"), quint8(Kind::Image)},
        {QLatin1String("style"), quint8(Kind::Style)},
        {QLatin1String("title"), quint8(Kind::Label)},
        {QLatin1String("tspan"), quint8(Kind::Span)},
        {QLatin1String("circle"), quint8(Kind::Shape)},
        // Draws the first of its elements whose requirements are met, such as
        // the text that stands in for a foreign object.
        {QLatin1String("switch"), quint8(Kind::Group)},
        {QLatin1String("ellipse"), quint8(Kind::Shape)},
        {QLatin1String("polygon"), quint8(Kind::Shape)},
        {QLatin1String("polyline"), quint8(Kind::Shape)},
        {QLatin1String("linearGradient"), quint8(Kind::Gradient)},
        {QLatin1String("radialGradient"), quint8(Kind::Gradient)},
    };

    return Kind(lookUp(name, elements, quint8(Kind::Unknown)));
}

// Where Qt's handler makes of an element what it is: anywhere else it
// draws it into some other element, or drops it with a warning.
bool SafeSvg::mayContain(Kind parent, Kind child)
{
    switch (child) {
    case Kind::Unknown:
    case Kind::Svg:
        return false;
    case Kind::Label:
        return parent != Kind::Style && parent != Kind::Label;
    case Kind::Span:
        return parent == Kind::Text;
    case Kind::Stop:
        return parent == Kind::Gradient;
    default:
        return parent == Kind::Svg || parent == Kind::Group || parent == Kind::Defs;
    }
}

SafeSvg::SafeSvg(const QByteArray &document)
    : m_document(document)
{
}

QByteArray SafeSvg::clean(const QByteArray &document)
{
    // Most drawings need nothing left out; they are read once here, without
    // writing, as Qt's handler will read them.
    switch (SafeSvg(document).run(nullptr)) {
    case Verdict::Refused:
        return {};
    case Verdict::Unchanged:
        return document;
    case Verdict::Dropped:
        break;
    }
    QByteArray rewritten;
    QXmlStreamWriter writer(&rewritten);
    if (SafeSvg(document).run(&writer) == Verdict::Refused || writer.hasError())
        return {};
    return rewritten;
}

bool SafeSvg::rasterFits(QImageReader &reader, qint64 *pixels)
{
    const QByteArray format = reader.format();
    if (std::find_if(std::begin(rasterFormats), std::end(rasterFormats),
                     [&format](const char *raster) { return format == raster; })
        == std::end(rasterFormats))
        return false;
    const QSize size = reader.size();
    const qint64 count = qint64(size.width()) * size.height();
    if (!size.isValid() || count > maxPixels)
        return false;
    if (pixels)
        *pixels = count;
    return true;
}

SafeSvg::Verdict SafeSvg::run(QXmlStreamWriter *writer)
{
    QXmlStreamReader xml(m_document);
    // As Qt's SVG handler reads: no namespace processing, so that a prefix
    // neither hides an element from this pass nor fails the document here alone.
    xml.setNamespaceProcessing(false);
    m_xml = &xml;
    bool dropped = false;
    bool rooted = false;
    while (!xml.atEnd()) {
        bool fine = true;
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            fine = startElement(writer, &dropped);
            rooted = true;
            break;
        case QXmlStreamReader::EndElement:
            fine = endElement(writer);
            break;
        case QXmlStreamReader::Characters:
            fine = characters(writer, &dropped);
            break;
        case QXmlStreamReader::DTD:
            // Entities multiply the document when expanded and name other
            // files when external: none is declared, none is expanded.
            if (!xml.entityDeclarations().isEmpty())
                return Verdict::Refused;
            dropped = true;
            break;
        case QXmlStreamReader::ProcessingInstruction:
            // <?xml-stylesheet href?> is a file Qt's handler would load.
        case QXmlStreamReader::EntityReference:
            dropped = true;
            break;
        default:
            break;
        }
        if (!fine)
            return Verdict::Refused;
        if (dropped && !writer)
            return Verdict::Dropped;
    }
    if (xml.hasError() || !rooted)
        return Verdict::Refused;
    if (m_selectors * m_levels + m_styleBytes * m_elements > maxStyleWork)
        return Verdict::Refused;
    return dropped ? Verdict::Dropped : Verdict::Unchanged;
}

bool SafeSvg::startElement(QXmlStreamWriter *writer, bool *dropped)
{
    if (m_skipping) {
        ++m_skipping;
        return true;
    }
    const Kind kind = elementKind(m_xml->name());
    if (m_frames.isEmpty()) {
        // Qt draws nothing of a document that is not an <svg>.
        if (kind != Kind::Svg)
            return false;
    } else if (!mayContain(m_frames.constLast().kind, kind)) {
        *dropped = true;
        m_skipping = 1;
        return true;
    }
    if (m_frames.size() >= maxDepth)
        return false;

    const QXmlStreamAttributes attributes = m_xml->attributes();
    QVarLengthArray<bool, 16> keep(attributes.size());
    qint64 work = 1 + (kind == Kind::Text || kind == Kind::Span ? textWork : 0) + (kind == Kind::Image ? imageWork : 0);
    QString id;
    const Finished *target = nullptr;
    qint64 pixels = 0;
    bool linked = false;
    for (int i = 0; i < attributes.size(); ++i) {
        const QXmlStreamAttribute &attribute = attributes.at(i);
        const QStringRef value = attribute.value();
        bool kept = true;
        switch (attributeKind(attribute.qualifiedName())) {
        case Attribute::Drop:
            kept = false;
            break;
        case Attribute::Keep:
            break;
        case Attribute::Paint:
            kept = onlyFragmentReferences(value);
            break;
        case Attribute::Geometry:
            work += (value.size() + geometryBytesPerWork - 1) / geometryBytesPerWork;
            break;
        case Attribute::Name:
            kept = value.size() <= maxNameLength;
            break;
        case Attribute::Id:
            // One element per name: what a <use> names is then that element alone.
            kept = !value.isEmpty() && value.size() <= maxNameLength && !m_ids.contains(value.toString());
            if (kept)
                id = value.toString();
            break;
        case Attribute::Href:
            if (kind == Kind::Image) {
                // Qt reads an image by this name only.
                kept = attribute.qualifiedName() == QLatin1String("xlink:href") && inlineImageFits(value, &pixels)
                    && m_pixels + pixels <= maxPixels;
            } else if ((kind == Kind::Use && !target) || kind == Kind::Gradient) {
                // Only an element already finished, so never the <use> itself,
                // nor one that holds it: what it repeats is known and counted.
                const auto finished = m_ids.constFind(value.mid(1).toString());
                kept = value.startsWith(QLatin1Char('#')) && finished != m_ids.constEnd() && finished->closed;
                if (kept && kind == Kind::Use)
                    target = &finished.value();
            } else {
                kept = false;
            }
            linked = linked || kept;
            break;
        }
        keep[i] = kept;
        if (!kept) {
            *dropped = true;
            if (!writer)
                return true;
        }
    }
    // An image without its picture, a <use> without what it repeats: nothing to draw.
    if ((kind == Kind::Image || kind == Kind::Use) && !linked) {
        *dropped = true;
        m_skipping = 1;
        return true;
    }
    if (kind == Kind::Stop && ++m_frames.last().stops > maxStops)
        return false;

    int height = 0;
    if (target) {
        work += target->work;
        height = target->height;
    }
    const qint64 before = m_work;
    m_work += work;
    if (m_work > maxWork)
        return false;
    m_pixels += pixels;
    ++m_elements;
    m_levels += m_frames.size() + 1;
    if (!id.isEmpty())
        m_ids.insert(id, Finished{false, 0, 0});
    m_frames.append(Frame{kind, before, height, 0, id});
    if (kind == Kind::Text || kind == Kind::Span)
        ++m_textDepth;

    if (writer) {
        writer->writeStartElement(m_xml->name().toString());
        for (int i = 0; i < attributes.size(); ++i) {
            if (keep[i])
                writer->writeAttribute(attributes.at(i).qualifiedName().toString(),
                                       attributes.at(i).value().toString());
        }
    }
    return true;
}

bool SafeSvg::endElement(QXmlStreamWriter *writer)
{
    if (m_skipping) {
        --m_skipping;
        return true;
    }
    const Frame frame = m_frames.takeLast();
    const int height = frame.height + 1;
    if (m_frames.size() + height > maxDepth)
        return false;
    if (!m_frames.isEmpty())
        m_frames.last().height = qMax(m_frames.constLast().height, height);
    if (!frame.id.isEmpty())
        m_ids[frame.id] = Finished{true, m_work - frame.workBefore, height};
    if (frame.kind == Kind::Text || frame.kind == Kind::Span)
        --m_textDepth;
    if (writer)
        writer->writeEndElement();
    return true;
}

bool SafeSvg::characters(QXmlStreamWriter *writer, bool *dropped)
{
    // Outside the document element there is only white space.
    if (m_skipping || m_frames.isEmpty())
        return true;
    const QStringRef text = m_xml->text();
    if (m_frames.constLast().kind == Kind::Style) {
        if (!plainStyleSheet(text)) {
            *dropped = true;
            return true;
        }
        m_styleBytes += text.size();
        // Every selector ends at a comma or a brace.
        m_selectors += text.count(QLatin1Char(',')) + text.count(QLatin1Char('{'));
    } else if (m_textDepth) {
        m_work += text.size();
        if (m_work > maxWork)
            return false;
    }
    if (writer)
        writer->writeCharacters(text.toString());
    return true;
}

} // namespace Vorlan
