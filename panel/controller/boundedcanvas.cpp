// SPDX-License-Identifier: MIT
#include "boundedcanvas.h"

#include <QPainterPath>
#include <QPolygon>
#include <QVector>

#include <cmath>

namespace Vorlan {

namespace {

bool isDashed(const QPen &pen)
{
    return pen.style() != Qt::NoPen && pen.style() != Qt::SolidLine;
}

} // namespace

BoundedCanvas::BoundedCanvas(QPaintDevice *target, QDeadlineTimer deadline)
    : m_target(target)
    , m_engine(target, deadline)
{
}

BoundedCanvas::~BoundedCanvas() = default;

QPaintEngine *BoundedCanvas::paintEngine() const
{
    return &m_engine;
}

int BoundedCanvas::devType() const
{
    return QInternal::UnknownDevice;
}

int BoundedCanvas::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth:
        return m_target->width();
    case PdmHeight:
        return m_target->height();
    case PdmWidthMM:
        return m_target->widthMM();
    case PdmHeightMM:
        return m_target->heightMM();
    case PdmNumColors:
        return m_target->colorCount();
    case PdmDepth:
        return m_target->depth();
    case PdmDpiX:
        return m_target->logicalDpiX();
    case PdmDpiY:
        return m_target->logicalDpiY();
    case PdmPhysicalDpiX:
        return m_target->physicalDpiX();
    case PdmPhysicalDpiY:
        return m_target->physicalDpiY();
    case PdmDevicePixelRatio:
        return m_target->devicePixelRatio();
    case PdmDevicePixelRatioScaled:
        return int(m_target->devicePixelRatioF() * devicePixelRatioFScale());
    }
    return QPaintDevice::metric(metric);
}

BoundedCanvas::Engine::Engine(QPaintDevice *target, QDeadlineTimer deadline)
    // Everything is handed on as it comes: QPainter emulates nothing.
    : QPaintEngine(AllFeatures)
    , m_target(target)
    , m_outerDeadline(deadline)
{
}

bool BoundedCanvas::Engine::begin(QPaintDevice *)
{
    m_deadline = qMin(m_outerDeadline, QDeadlineTimer(maxMilliseconds));
    m_workLeft = maxWork;
    m_penDirty = true;
    m_area = qreal(m_target->width()) * m_target->height();
    m_widest = 2 * (m_target->width() + m_target->height());
    return m_painter.begin(m_target);
}

bool BoundedCanvas::Engine::end()
{
    return m_painter.end();
}

QPaintEngine::Type BoundedCanvas::Engine::type() const
{
    return User;
}

void BoundedCanvas::Engine::updateState(const QPaintEngineState &state)
{
    // QPainter reports as changed whatever a restore() touched; the
    // painter underneath is told only what really changed.
    const DirtyFlags dirty = state.state();
    // The transform first: a clip is set in the coordinates of its time.
    if (dirty & DirtyTransform) {
        const QTransform transform = state.transform();
        if (transform != m_painter.transform())
            m_painter.setTransform(transform);
    }
    if (dirty & DirtyPen) {
        m_pen = state.pen();
        m_penDirty = true;
        m_stroking = m_pen.style() != Qt::NoPen;
        m_dashed = isDashed(m_pen);
        m_penWidth = qMax<qreal>(m_pen.widthF(), m_pen.isCosmetic() ? 1 : 0);
        m_dashPattern = 0;
        if (m_dashed) {
            const QVector<qreal> dashes = m_pen.dashPattern();
            for (const qreal dash : dashes)
                m_dashPattern += qAbs(dash);
        }
    }
    if (dirty & DirtyBrush) {
        const QBrush brush = state.brush();
        m_filling = brush.style() != Qt::NoBrush;
        if (brush != m_painter.brush())
            m_painter.setBrush(brush);
    }
    if (dirty & DirtyBrushOrigin)
        m_painter.setBrushOrigin(state.brushOrigin());
    if (dirty & DirtyBackground)
        m_painter.setBackground(state.backgroundBrush());
    if (dirty & DirtyBackgroundMode)
        m_painter.setBackgroundMode(state.backgroundMode());
    if (dirty & DirtyFont)
        m_painter.setFont(state.font());
    if ((dirty & DirtyHints) && state.renderHints() != m_painter.renderHints()) {
        m_painter.setRenderHints(m_painter.renderHints(), false);
        m_painter.setRenderHints(state.renderHints(), true);
    }
    if ((dirty & DirtyCompositionMode) && state.compositionMode() != m_painter.compositionMode())
        m_painter.setCompositionMode(state.compositionMode());
    if ((dirty & DirtyOpacity) && state.opacity() != m_painter.opacity())
        m_painter.setOpacity(state.opacity());
    if (dirty & DirtyClipPath)
        m_painter.setClipPath(state.clipPath(), state.clipOperation());
    if (dirty & DirtyClipRegion)
        m_painter.setClipRegion(state.clipRegion(), state.clipOperation());
    if ((dirty & DirtyClipEnabled) && state.isClipEnabled() != m_painter.hasClipping())
        m_painter.setClipping(state.isClipEnabled());
}

bool BoundedCanvas::Engine::inTime() const
{
    return !m_deadline.hasExpired();
}

bool BoundedCanvas::Engine::prepare(const QRectF &bounds, int pieces)
{
    if (!inTime())
        return false;
    const QTransform &transform = m_painter.transform();
    const QRectF onTarget = transform.mapRect(bounds);
    qreal work = 0;
    if (m_filling)
        work += qMin(onTarget.width() * onTarget.height(), m_area) + pieces;

    bool changed = false;
    QPen pen;
    if (m_stroking) {
        // The pen's width on the target: a cosmetic pen is as wide as it
        // says, any other one as the transform stretches it at most.
        const qreal scale = m_pen.isCosmetic()
            ? 1
            : qMax(std::hypot(transform.m11(), transform.m12()), std::hypot(transform.m21(), transform.m22()));
        qreal width = m_penWidth * scale;
        qreal pattern = m_dashPattern;
        // A stroke wider than twice the picture's outline covers all of it
        // that it covers at all.
        if (width > m_widest && scale > 0) {
            pen = m_pen;
            // Dashes are measured in pen widths: kept as long as they were.
            if (m_dashed) {
                const qreal factor = width / m_widest;
                QVector<qreal> dashes = pen.dashPattern();
                for (qreal &dash : dashes)
                    dash *= factor;
                const qreal offset = pen.dashOffset() * factor;
                pen.setDashPattern(dashes);
                pen.setDashOffset(offset);
                pattern *= factor;
            }
            pen.setWidthF(m_widest / scale);
            width = m_widest;
            changed = true;
        }
        // Every piece of a stroke, a segment with its join or a dash, costs
        // the rasterizer about its width squared, up to the whole picture,
        // and a pixel of a stroke several times one of a fill.
        const qreal pieceWork = strokeWeight * qMin((width + 2) * (width + 2), m_area);
        qreal strokePieces = pieces;
        if (m_dashed) {
            pattern *= qMax<qreal>(width, 1);
            // No piece is longer than the diagonal of the bounds.
            const qreal dashCount = pieces * std::hypot(onTarget.width(), onTarget.height()) / pattern;
            // Dashes finer than a pixel, or too many to draw, are drawn as one line.
            if (!(pattern >= 1) || dashCount * pieceWork > maxDashWork) {
                if (!changed)
                    pen = m_pen;
                pen.setStyle(Qt::SolidLine);
                changed = true;
            } else {
                strokePieces += dashCount;
            }
        }
        work += strokePieces * pieceWork;
    }
    // Beyond the drawing's share of work, a shape is left out.
    if (!(work <= m_workLeft))
        return false;
    m_workLeft -= work;
    if (changed) {
        m_painter.setPen(pen);
        // The next shape needs the state's own pen again.
        m_penDirty = true;
    } else if (m_penDirty) {
        m_painter.setPen(m_pen);
        m_penDirty = false;
    }
    return true;
}

void BoundedCanvas::Engine::drawPath(const QPainterPath &path)
{
    if (prepare(path.controlPointRect(), path.elementCount()))
        m_painter.drawPath(path);
}

void BoundedCanvas::Engine::drawPolygon(const QPointF *points, int pointCount, PolygonDrawMode mode)
{
    if (!prepare(QPolygonF(QVector<QPointF>(points, points + pointCount)).boundingRect(), pointCount))
        return;
    switch (mode) {
    case PolylineMode:
        m_painter.drawPolyline(points, pointCount);
        break;
    case OddEvenMode:
        m_painter.drawPolygon(points, pointCount, Qt::OddEvenFill);
        break;
    case WindingMode:
        m_painter.drawPolygon(points, pointCount, Qt::WindingFill);
        break;
    case ConvexMode:
        m_painter.drawConvexPolygon(points, pointCount);
        break;
    }
}

void BoundedCanvas::Engine::drawPolygon(const QPoint *points, int pointCount, PolygonDrawMode mode)
{
    QVector<QPointF> real(pointCount);
    for (int i = 0; i < pointCount; ++i)
        real[i] = points[i];
    drawPolygon(real.constData(), pointCount, mode);
}

void BoundedCanvas::Engine::drawRects(const QRectF *rects, int rectCount)
{
    for (int i = 0; i < rectCount; ++i) {
        if (prepare(rects[i], 4))
            m_painter.drawRect(rects[i]);
    }
}

void BoundedCanvas::Engine::drawRects(const QRect *rects, int rectCount)
{
    for (int i = 0; i < rectCount; ++i) {
        if (prepare(rects[i], 4))
            m_painter.drawRect(rects[i]);
    }
}

void BoundedCanvas::Engine::drawLines(const QLineF *lines, int lineCount)
{
    for (int i = 0; i < lineCount; ++i) {
        if (prepare(QRectF(lines[i].p1(), lines[i].p2()).normalized(), 1))
            m_painter.drawLine(lines[i]);
    }
}

void BoundedCanvas::Engine::drawLines(const QLine *lines, int lineCount)
{
    for (int i = 0; i < lineCount; ++i) {
        if (prepare(QRectF(lines[i].p1(), lines[i].p2()).normalized(), 1))
            m_painter.drawLine(lines[i]);
    }
}

void BoundedCanvas::Engine::drawEllipse(const QRectF &rect)
{
    if (prepare(rect, 4))
        m_painter.drawEllipse(rect);
}

void BoundedCanvas::Engine::drawEllipse(const QRect &rect)
{
    drawEllipse(QRectF(rect));
}

void BoundedCanvas::Engine::drawPoints(const QPointF *points, int pointCount)
{
    if (prepare(QPolygonF(QVector<QPointF>(points, points + pointCount)).boundingRect(), pointCount))
        m_painter.drawPoints(points, pointCount);
}

void BoundedCanvas::Engine::drawPoints(const QPoint *points, int pointCount)
{
    if (prepare(QPolygon(QVector<QPoint>(points, points + pointCount)).boundingRect(), pointCount))
        m_painter.drawPoints(points, pointCount);
}

void BoundedCanvas::Engine::drawPixmap(const QRectF &rect, const QPixmap &pixmap, const QRectF &source)
{
    if (inTime())
        m_painter.drawPixmap(rect, pixmap, source);
}

void BoundedCanvas::Engine::drawTiledPixmap(const QRectF &rect, const QPixmap &pixmap, const QPointF &offset)
{
    if (inTime())
        m_painter.drawTiledPixmap(rect, pixmap, offset);
}

void BoundedCanvas::Engine::drawImage(const QRectF &rect, const QImage &image, const QRectF &source,
                                      Qt::ImageConversionFlags flags)
{
    if (inTime())
        m_painter.drawImage(rect, image, source, flags);
}

void BoundedCanvas::Engine::drawTextItem(const QPointF &point, const QTextItem &textItem)
{
    // Text is laid out by Qt glyph by glyph: only its time bounds it.
    if (!inTime())
        return;
    if (m_penDirty) {
        m_painter.setPen(m_pen);
        m_penDirty = false;
    }
    m_painter.drawTextItem(point, textItem);
}

} // namespace Vorlan
