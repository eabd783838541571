// SPDX-License-Identifier: MIT
#ifndef VORLAN_BOUNDEDCANVAS_H
#define VORLAN_BOUNDEDCANVAS_H

#include <QDeadlineTimer>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>

namespace Vorlan {

// A paint device that hands every drawing call on to a painter on the real
// target, bounding what each may cost. Qt's rasterizer takes seconds over
// a single shape whose stroke is hundreds of pixels wide with a join at
// every one of thousands of points, or dashed in thousands of pieces,
// whatever the document it comes from. Here each shape's work is reckoned
// in pixels before it is drawn: a stroke is drawn no wider than covers the
// picture, dashes too fine or too many are drawn as one line, and a shape
// beyond the drawing's share of work is left out, as is everything once
// the drawing has taken its time. Ordinary drawings come out exactly as
// drawn on the target itself.
class BoundedCanvas : public QPaintDevice
{
public:
    // The target must outlive the canvas and have no other painter on it.
    // Nothing is drawn after the deadline, nor longer than a drawing may take.
    explicit BoundedCanvas(QPaintDevice *target, QDeadlineTimer deadline = QDeadlineTimer::Forever);
    ~BoundedCanvas() override;

    QPaintEngine *paintEngine() const override;
    // Qt's own is inline and would be exported from the plug-in with its vtable.
    int devType() const override;

    // Wall time one drawing may take before the rest is left out.
    static constexpr int maxMilliseconds = 500;
    // Work of one drawing, in pixels covered: about a quarter of a second.
    static constexpr qreal maxWork = 1e8;
    // Work of the dashes of one stroke beyond which it is drawn solid.
    static constexpr qreal maxDashWork = 1e6;
    // A pixel of a stroke, with its joins and antialiased edges, against one of a fill.
    static constexpr qreal strokeWeight = 8;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    class Engine : public QPaintEngine
    {
    public:
        Engine(QPaintDevice *target, QDeadlineTimer deadline);

        bool begin(QPaintDevice *device) override;
        bool end() override;
        void updateState(const QPaintEngineState &state) override;
        Type type() const override;

        void drawPath(const QPainterPath &path) override;
        void drawPolygon(const QPointF *points, int pointCount, PolygonDrawMode mode) override;
        void drawPolygon(const QPoint *points, int pointCount, PolygonDrawMode mode) override;
        void drawRects(const QRectF *rects, int rectCount) override;
        void drawRects(const QRect *rects, int rectCount) override;
        void drawLines(const QLineF *lines, int lineCount) override;
        void drawLines(const QLine *lines, int lineCount) override;
        void drawEllipse(const QRectF &rect) override;
        void drawEllipse(const QRect &rect) override;
        void drawPoints(const QPointF *points, int pointCount) override;
        void drawPoints(const QPoint *points, int pointCount) override;
        void drawPixmap(const QRectF &rect, const QPixmap &pixmap, const QRectF &source) override;
        void drawTiledPixmap(const QRectF &rect, const QPixmap &pixmap, const QPointF &offset) override;
        void drawImage(const QRectF &rect, const QImage &image, const QRectF &source,
                       Qt::ImageConversionFlags flags) override;
        void drawTextItem(const QPointF &point, const QTextItem &textItem) override;

    private:
        // Whether to draw a shape within these bounds (before the
        // transform) made of this many pieces; if so, with the painter's
        // pen set for it.
        bool prepare(const QRectF &bounds, int pieces);
        bool inTime() const;

        QPaintDevice *m_target;
        QPainter m_painter;
        // The state's pen, and what the bounds ask of it.
        QPen m_pen;
        bool m_stroking = false;
        bool m_dashed = false;
        qreal m_penWidth = 0;
        qreal m_dashPattern = 0;
        // The state's pen is not yet the painter's.
        bool m_penDirty = true;
        bool m_filling = false;
        qreal m_area = 0;
        qreal m_widest = 0;
        qreal m_workLeft = 0;
        QDeadlineTimer m_outerDeadline;
        QDeadlineTimer m_deadline;
    };

    QPaintDevice *m_target;
    mutable Engine m_engine;
};

} // namespace Vorlan

#endif // VORLAN_BOUNDEDCANVAS_H
