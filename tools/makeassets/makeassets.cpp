// SPDX-License-Identifier: MIT
//
// Generates the module's binary assets (toolbar icons and the alarm sound)
// so that they can be reviewed and rebuilt from source instead of being
// opaque blobs. Output is deterministic: rerunning it gives identical bytes.
//
// Usage: makeassets <output-folder>

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QDataStream>
#include <QtCore/QDir>
#include <QtCore/QSaveFile>
#include <QtCore/QString>
#include <QtCore/QTextStream>
#include <QtCore/QVector>
#include <QtCore/QtMath>
#include <QtGui/QColor>
#include <QtGui/QImage>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QPen>

#include <algorithm>
#include <cmath>

namespace {

constexpr int IconSize = 50;

const QColor ButtonFill(0x3c, 0x3f, 0x44);
const QColor ButtonEdge(0x5a, 0x5e, 0x66);
const QColor Glyph(Qt::white);
const QColor Strike(0xe5, 0x39, 0x35);

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

bool ensureDir(const QString &path)
{
    if (QDir().mkpath(path))
        return true;
    err() << "makeassets: cannot create folder " << path << Qt::endl;
    return false;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    // QSaveFile so an interrupted run never leaves a truncated asset behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        err() << "makeassets: cannot write " << path << ": " << file.errorString() << Qt::endl;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- icons

void drawButton(QPainter &p)
{
    // Half-pixel inset keeps the 1 px edge crisp instead of smeared over two pixels.
    const QRectF rect(1.5, 1.5, IconSize - 3.0, IconSize - 3.0);
    p.setPen(QPen(ButtonEdge, 1.0));
    p.setBrush(ButtonFill);
    p.drawRoundedRect(rect, 9.0, 9.0);
}

// The speaker sits left of centre so that the waves fit on the right; the
// muted variant keeps it in the same place so toggling does not make it jump.
QPainterPath speakerPath()
{
    QPainterPath path;
    path.moveTo(9.0, 19.0);
    path.lineTo(16.0, 19.0);
    path.lineTo(25.0, 11.0);
    path.lineTo(25.0, 39.0);
    path.lineTo(16.0, 31.0);
    path.lineTo(9.0, 31.0);
    path.closeSubpath();
    return path;
}

void drawSpeaker(QPainter &p)
{
    // A thin stroke in the glyph colour rounds the sharp cone corners a little,
    // which looks less jagged once the icon is scaled down.
    p.setPen(QPen(Glyph, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Glyph);
    p.drawPath(speakerPath());
}

void drawWaves(QPainter &p)
{
    // Two thick arcs rather than three thin ones: they still separate at 24 px.
    const QPointF centre(25.0, 25.0);
    const qreal radii[] = {7.5, 15.0};
    p.setPen(QPen(Glyph, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (const qreal r : radii) {
        const QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
        p.drawArc(box, -50 * 16, 100 * 16);
    }
}

void drawStrike(QPainter &p)
{
    const QPointF from(10.0, 10.0);
    const QPointF to(40.0, 40.0);
    // A gap in the button colour around the bar keeps it legible where it
    // crosses the white speaker.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ButtonFill, 7.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    p.setPen(QPen(Strike, 4.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
}

QImage makeIcon(bool soundOn)
{
    QImage image(IconSize, IconSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    // Fixed density so the PNG metadata does not depend on the host.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    drawButton(p);
    drawSpeaker(p);
    if (soundOn)
        drawWaves(p);
    else
        drawStrike(p);
    p.end();
    return image;
}

bool writeIcon(const QString &path, bool soundOn)
{
    const QImage image = makeIcon(soundOn);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        err() << "makeassets: cannot write " << path << Qt::endl;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- sound

constexpr quint32 SampleRate = 22050;
constexpr quint16 Channels = 2;
constexpr quint16 BitsPerSample = 16;
constexpr int TotalFrames = 24255; // 1.1 s

// Alternating high/low tones are recognised as an alarm without the
// harshness of a continuous siren; the trailing silence lets loops breathe.
constexpr double ToneHz[] = {880.0, 660.0};
constexpr int ToneFrames = 3969; // 0.18 s
constexpr int ToneCount = 6;
constexpr int FadeFrames = 176; // 8 ms, enough to avoid clicks at tone edges
constexpr double PeakDbfs = -6.0;

QVector<double> synthAlarm()
{
    QVector<double> signal(TotalFrames, 0.0);
    for (int tone = 0; tone < ToneCount; ++tone) {
        const double hz = ToneHz[tone % 2];
        const int start = tone * ToneFrames;
        for (int i = 0; i < ToneFrames; ++i) {
            const double t = double(i) / SampleRate;
            const double w = 2.0 * M_PI * hz * t;
            // A little second harmonic makes the beep carry on small speakers.
            double s = std::sin(w) + 0.2 * std::sin(2.0 * w);

            const int edge = std::min(i, ToneFrames - 1 - i);
            if (edge < FadeFrames)
                s *= 0.5 - 0.5 * std::cos(M_PI * edge / FadeFrames);
            signal[start + i] = s;
        }
    }

    double peak = 0.0;
    for (const double s : signal)
        peak = std::max(peak, std::abs(s));
    const double gain = std::pow(10.0, PeakDbfs / 20.0) / peak;
    for (double &s : signal)
        s *= gain;
    return signal;
}

QByteArray makeWav()
{
    const QVector<double> signal = synthAlarm();
    const quint16 blockAlign = Channels * BitsPerSample / 8;
    const quint32 dataSize = quint32(TotalFrames) * blockAlign;

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);

    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataSize);
    out.writeRawData("WAVE", 4);

    out.writeRawData("fmt ", 4);
    out << quint32(16); // PCM format chunk has no extension
    out << quint16(1); // uncompressed PCM
    out << Channels;
    out << SampleRate;
    out << quint32(SampleRate * blockAlign);
    out << blockAlign;
    out << BitsPerSample;

    out.writeRawData("data", 4);
    out << dataSize;
    for (const double s : signal) {
        const auto sample = qint16(qBound(-32768L, std::lround(s * 32767.0), 32767L));
        for (int ch = 0; ch < Channels; ++ch)
            out << sample;
    }
    return bytes;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        err() << "usage: makeassets <output-folder>" << Qt::endl;
        return 2;
    }

    const QDir root(args.at(1));
    const QString iconDir = root.filePath(QStringLiteral("icons"));
    const QString soundDir = root.filePath(QStringLiteral("sounds"));
    if (!ensureDir(iconDir) || !ensureDir(soundDir))
        return 1;

    bool ok = true;
    ok &= writeIcon(QDir(iconDir).filePath(QStringLiteral("button_sound_on.png")), true);
    ok &= writeIcon(QDir(iconDir).filePath(QStringLiteral("button_sound_off.png")), false);
    ok &= writeFile(QDir(soundDir).filePath(QStringLiteral("alarm.wav")), makeWav());
    return ok ? 0 : 1;
}
