// SPDX-License-Identifier: MIT
#include "fifowatch.h"
#include "paneltest.h"
#include "peakmemory.h"
#include "pictures.h"
#include "request.h"
#include "response.h"

#include <helvor/light.h>
#include <helvor/stage.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QListWidgetItem>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolTip>
#include <QUrl>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int intMin = std::numeric_limits<int>::min();
constexpr int intMax = std::numeric_limits<int>::max();
const double notANumber = std::nan("");
const double infinity = std::numeric_limits<double>::infinity();

const QString organization = QStringLiteral("Vorlan Test Centre");
const QString application = QStringLiteral("tst_badinput");

// UTC: no daylight-saving step falls between the instants of a row.
const QDateTime start(QDate(2024, 6, 12), QTime(10, 0), Qt::UTC);
const QSize listIconSize = Pictures::listIconSize;

// What a hostile picture may cost a panel that composes it into its
// 200 x 125 icon, per file.
#ifdef __SANITIZE_ADDRESS__
// The sanitizers' checks make drawing several times slower; the bound is
// about what stays bounded, not about speed.
constexpr qint64 pictureMillisecondsBound = 10000;
#else
constexpr qint64 pictureMillisecondsBound = 2000;
#endif
constexpr qint64 pictureKibibytesBound = 200 * 1024;
// Far beyond any junction, and still no frozen workstation.
constexpr int manyStages = 10000;
#ifdef __SANITIZE_ADDRESS__
constexpr qint64 manyStagesMillisecondsBound = 15000;
#else
constexpr qint64 manyStagesMillisecondsBound = 5000;
#endif
constexpr qint64 manyStagesKibibytesBound = 256 * 1024;
constexpr qint64 stateChangeMillisecondsBound = 1000;
// One tick, whatever text the host's request gives.
constexpr qint64 tickMillisecondsBound = 500;

// Every status line a working panel writes: a state text, the age of the
// running stage, then maybe the operator's idle time and the command under way.
const QRegularExpression statusLine(
    QStringLiteral("^(Disconnected|Stage -?\\d+|Dark|Power switch level|YF|Signaling groups level|Unknown state): "
                   "-?\\d+( DC: -?\\d+)?( Sending command: .*)?$"),
    QRegularExpression::DotMatchesEverythingOption);

QVariant objectValue(QObject *object)
{
    return QVariant::fromValue(object);
}

// PNG pictures made here rather than kept as files.
quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    const QByteArray body = QByteArray(type) + data;
    return bigEndian(quint32(data.size())) + body + bigEndian(crc32(body));
}

// Deflate's bit order: values least significant bit first, Huffman codes
// most significant bit first.
class BitWriter
{
public:
    void bits(quint32 value, int count)
    {
        for (int i = 0; i < count; ++i) {
            m_byte |= ((value >> i) & 1u) << m_used;
            if (++m_used == 8)
                flush();
        }
    }

    void code(quint32 value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            bits((value >> i) & 1u, 1);
    }

    QByteArray finish()
    {
        if (m_used)
            flush();
        return m_out;
    }

private:
    void flush()
    {
        m_out.append(char(m_byte));
        m_byte = 0;
        m_used = 0;
    }

    QByteArray m_out;
    quint32 m_byte = 0;
    int m_used = 0;
};

// A black RGB picture whose pixel data is all zero bytes, written without
// a compressor as one fixed-Huffman deflate block: one literal zero, then
// copies of 258 bytes at distance 1. About 1:1000, so a 10000 x 10000
// picture, 400 MB once decoded, fits in 2 MB: a decompression bomb.
QByteArray blackPng(quint32 width, quint32 height)
{
    const qint64 total = qint64(height) * (1 + 3 * qint64(width));
    BitWriter deflate;
    deflate.bits(1, 1); // last block
    deflate.bits(1, 2); // fixed Huffman codes
    deflate.code(0x30, 8); // literal 0
    qint64 left = total - 1;
    for (; left >= 258; left -= 258) {
        deflate.code(0xc5, 8); // length 258 (symbol 285)
        deflate.code(0, 5); // distance 1
    }
    for (; left > 0; --left)
        deflate.code(0x30, 8);
    deflate.code(0, 7); // end of block
    // Adler-32 of zero bytes: the sum stays 1, the sum of sums counts them.
    const quint32 adler = (quint32(total % 65521) << 16) | 1u;
    const QByteArray zlib = QByteArray("\x78\x01", 2) + deflate.finish() + bigEndian(adler);

    QByteArray header = bigEndian(width) + bigEndian(height);
    header.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlib)
        + pngChunk("IEND", {});
}

QByteArray littleEndian(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

const QByteArray gzipHeader("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);

// A compressed drawing (.svgz) in stored deflate blocks, which every
// inflater reads: no compressor needed here.
QByteArray gzip(const QByteArray &data)
{
    QByteArray bytes = gzipHeader;
    int at = 0;
    do {
        const QByteArray block = data.mid(at, 65535);
        at += block.size();
        const quint16 size = quint16(block.size());
        bytes += char(at >= data.size() ? 1 : 0); // final block or not, stored
        bytes += char(size & 0xff);
        bytes += char(size >> 8);
        bytes += char(~size & 0xff);
        bytes += char((~size >> 8) & 0xff);
        bytes += block;
    } while (at < data.size());
    return bytes + littleEndian(crc32(data)) + littleEndian(quint32(data.size()));
}

// A compressed drawing that inflates to the text, then count blanks, about
// 1000:1 as blackPng's pixels do. Its check sum is left zero: an inflater
// that reaches it has already spent what the bomb is about.
QByteArray gzipBomb(const QByteArray &text, qint64 count)
{
    BitWriter deflate;
    deflate.bits(1, 1); // last block
    deflate.bits(1, 2); // fixed Huffman codes
    for (const char byte : text + ' ')
        deflate.code(0x30 + quint8(byte), 8); // literals below 144
    qint64 left = count - 1;
    for (; left >= 258; left -= 258) {
        deflate.code(0xc5, 8); // length 258
        deflate.code(0, 5); // distance 1
    }
    for (; left > 0; --left)
        deflate.code(0x30 + ' ', 8);
    deflate.code(0, 7); // end of block
    return gzipHeader + deflate.finish() + littleEndian(0) + littleEndian(quint32(text.size() + count));
}

// An image where the overlay would be.
QByteArray imageAtOverlay(const QByteArray &href)
{
    return "<image x=\"80\" y=\"40\" width=\"40\" height=\"40\" xlink:href=\"" + href + "\"/>";
}

QByteArray nested(int depth, const QByteArray &body)
{
    return QByteArray("<g>").repeated(depth) + body + QByteArray("</g>").repeated(depth);
}

} // namespace

// A controller under dispatch control, connected, with flashing yellow for
// 15 s: what every row starts from. Everything it reports is a dynamic
// property, which a row may replace by a value of any type or remove; to
// the module that is the same as a declared property of that type or none.
class BaseLight : public Helvor::Light
{
    Q_OBJECT

public:
    explicit BaseLight(int number, const QString &name = QStringLiteral("Probe"))
        : Helvor::Light(number, name)
    {
        setProperty("controlSource", 3);
        setProperty("controlAlgorithm", 255);
        setProperty("isConnected", true);
        setProperty("keyRegime", 2);
        setProperty("phaseChangeTime", start.addSecs(-15));
    }

    Q_INVOKABLE void setLocal()
    {
        ++setLocalCalls;
    }

    QList<QObject *> stages;
    QList<QVariantList> commands;
    int setLocalCalls = 0;
};

// The host's own kind of controller, with answers a row may replace.
class ProbeLight : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;

    Q_INVOKABLE QList<QObject *> phases()
    {
        ++phasesCalls;
        return stages;
    }
    Q_INVOKABLE Response *sendCommand(const QVariant &command)
    {
        return send({command});
    }
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument)
    {
        return send({command, argument});
    }

    int phasesCalls = 0;
    QPointer<Response> lastResponse;

private:
    Response *send(const QVariantList &arguments)
    {
        commands.append(arguments);
        lastResponse = new Response(new Request(arguments.value(0).toString(), arguments.mid(1)), this);
        return lastResponse;
    }
};

// Neither "phases" nor "sendCommand".
class MethodlessLight : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;
};

// Not even "setLocal": the bare controller class with properties.
class SilentLight : public Helvor::Light
{
    Q_OBJECT

public:
    explicit SilentLight(int number)
        : Helvor::Light(number, QStringLiteral("Silent"))
    {
        setProperty("controlSource", 3);
        setProperty("controlAlgorithm", 255);
        setProperty("isConnected", true);
        setProperty("keyRegime", 2);
    }
};

class TextPhasesLight : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;

    Q_INVOKABLE QStringList phases()
    {
        return {QStringLiteral("1"), QStringLiteral("2")};
    }
};

class VariantPhasesLight : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;

    Q_INVOKABLE QVariant phases()
    {
        return QVariant::fromValue(stages);
    }
};

// moc makes phases() of this one as well, which then passes 0.
class DefaultArgumentPhasesLight : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;

    Q_INVOKABLE QList<QObject *> phases(int group = 0)
    {
        return group == 0 ? stages : QList<QObject *>();
    }
};

class VoidCommandLight : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;

    Q_INVOKABLE QList<QObject *> phases()
    {
        return stages;
    }

    Q_INVOKABLE void sendCommand(const QVariant &command)
    {
        commands.append({command});
    }
    Q_INVOKABLE void sendCommand(const QVariant &command, const QVariant &argument)
    {
        commands.append({command, argument});
    }
};

class IntCommandLight : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;

    Q_INVOKABLE QList<QObject *> phases()
    {
        return stages;
    }

    Q_INVOKABLE int sendCommand(const QVariant &command)
    {
        commands.append({command});
        return 4608;
    }
    Q_INVOKABLE int sendCommand(const QVariant &command, const QVariant &argument)
    {
        commands.append({command, argument});
        return 4608;
    }
};

// A response, but wrapped in a QVariant.
class VariantCommandLight : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;

    Q_INVOKABLE QList<QObject *> phases()
    {
        return stages;
    }

    Q_INVOKABLE QVariant sendCommand(const QVariant &command)
    {
        commands.append({command});
        return objectValue(new Response(new Request(command.toString()), this));
    }
    Q_INVOKABLE QVariant sendCommand(const QVariant &command, const QVariant &argument)
    {
        commands.append({command, argument});
        return objectValue(new Response(new Request(command.toString()), this));
    }
};

namespace Foreign {

// Named like the host's response, so that "sendCommand" below returns the
// type name the panel asks for, but a plain object: no finished() signal,
// no "error", no "request".
class Response : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
};

class Light : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;

    Q_INVOKABLE QList<QObject *> phases()
    {
        return stages;
    }

    Q_INVOKABLE Response *sendCommand(const QVariant &command)
    {
        commands.append({command});
        last = new Response(this);
        return last;
    }
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument)
    {
        commands.append({command, argument});
        last = new Response(this);
        return last;
    }

    QPointer<Response> last;
};

} // namespace Foreign

namespace Loose {

// A response of no particular class: it has finished(), and whatever
// dynamic properties a row gives it.
class Response : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    void finish()
    {
        Q_EMIT finished();
    }

Q_SIGNALS:
    void finished();
};

class Light : public BaseLight
{
    Q_OBJECT

public:
    using BaseLight::BaseLight;

    Q_INVOKABLE QList<QObject *> phases()
    {
        return stages;
    }

    Q_INVOKABLE Response *sendCommand(const QVariant &command)
    {
        return send({command});
    }
    Q_INVOKABLE Response *sendCommand(const QVariant &command, const QVariant &argument)
    {
        return send({command, argument});
    }

    // Runs on each new response before "sendCommand" returns it.
    std::function<void(Response *)> prepare;
    QPointer<Response> last;

private:
    Response *send(const QVariantList &arguments)
    {
        commands.append(arguments);
        last = new Response(this);
        last->setProperty("request", objectValue(new Request(arguments.value(0).toString(), {}, last)));
        if (prepare)
            prepare(last);
        return last;
    }
};

} // namespace Loose

// Requests whose "toString" is not quite what the panel asks for.
class DefaultArgumentRequest : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    Q_INVOKABLE QString toString(int width = 0) const
    {
        return QStringLiteral("set_yf").leftJustified(width);
    }
};

class BytesRequest : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    Q_INVOKABLE QByteArray toString() const
    {
        return "set_yf";
    }
};

class VariantRequest : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    Q_INVOKABLE QVariant toString() const
    {
        return QStringLiteral("set_yf");
    }
};

class PrivateSlotRequest : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

private Q_SLOTS:
    QString toString() const
    {
        return QStringLiteral("set_yf");
    }
};

// Says what it is told to, and may do something behind the panel's back.
class ScriptedRequest : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    Q_INVOKABLE QString toString()
    {
        ++calls;
        if (sideEffect)
            sideEffect();
        return text;
    }

    QString text;
    std::function<void()> sideEffect;
    int calls = 0;
};

enum class OpenArgument {
    Null,
    PlainObject,
    Widget,
    PluginObject,
    Panel,
    BareController,
    StringArgument,
    NumberExtremes,
    NameWithBreaks,
    LongName
};
Q_DECLARE_METATYPE(OpenArgument)

// Makes the row's kind of controller, numbered as asked.
using MakeLight = BaseLight *(*)(int number);
Q_DECLARE_METATYPE(MakeLight)

template<typename T> BaseLight *makeLight(int number)
{
    return new T(number);
}

enum class Phases { Missing, Text, Variant, DefaultArgument, Many, DuplicateNumbers, SameObjectTwice, ItselfAsStage };
Q_DECLARE_METATYPE(Phases)

enum class Sender { Missing, Void, Int, Variant, Foreign };
Q_DECLARE_METATYPE(Sender)

enum class Lifetime { DeletedAtOnce, FinishedBeforeReturn, NeverFinishes, DeletedFromOwnFinishedSlot };
Q_DECLARE_METATYPE(Lifetime)

enum class RequestKind {
    List,
    Map,
    Number,
    Bytes,
    ResponseItself,
    DefaultArgument,
    BytesToString,
    VariantToString,
    PrivateSlot,
    LongText,
    ControlCharacters,
    DeletesResponse,
    EmitsStateChanged
};
Q_DECLARE_METATYPE(RequestKind)

enum class Where { Stage, Controller, Picture };
Q_DECLARE_METATYPE(Where)

enum class Shown { Tip, Status };
Q_DECLARE_METATYPE(Shown)

class tst_BadInput : public PanelTest
{
    Q_OBJECT

public:
    explicit tst_BadInput(const QString &scratch)
        : m_scratch(scratch)
    {
    }

private Q_SLOTS:
    void openArguments_data();
    void openArguments();
    void controllerProperties_data();
    void controllerProperties();
    void currentStageExtremes_data();
    void currentStageExtremes();
    void stageLists_data();
    void stageLists();
    void stageProperties_data();
    void stageProperties();
    void unusableSendCommand_data();
    void unusableSendCommand();
    void responseLifetimes_data();
    void responseLifetimes();
    void responseErrorValues_data();
    void responseErrorValues();
    void requestValues_data();
    void requestValues();
    void hostTexts_data();
    void hostTexts();
    void schemaPaths_data();
    void schemaPaths();
    void hostilePictures_data();
    void hostilePictures();
    void settingsFileText_data();
    void settingsFileText();
    void settingsTypedValues_data();
    void settingsTypedValues();

protected:
    void initSuite() override;
    void initEach() override;
    void cleanupEach() override;
    void cleanupSuite() override;

private:
    QString whyPanelFails(QWidget *panel, const BaseLight *light);
    void renewPlugin();
    void checkSettingsTaken(const QString &key, const QVariant &expected);
    void measured(const QString &what);

    const QString m_scratch;
    int m_rows = 0;
    int m_settingsFiles = 0;
    QStringList m_measurements;
};

void tst_BadInput::initSuite()
{
    // The expectations below are those of the built-in values.
    QCOMPARE(moduleValue("alarmBefore"), QVariant(builtinAlarmBefore));
    QCOMPARE(moduleValue("defaultInactivityPeriod"), QVariant(builtinDefaultInactivityPeriod));
}

void tst_BadInput::initEach()
{
    if (QTest::currentDataTag() && *QTest::currentDataTag())
        ++m_rows;
    Host::setClock(start);
}

void tst_BadInput::cleanupEach()
{
    QCoreApplication::setApplicationName(application);
}

void tst_BadInput::cleanupSuite()
{
    for (const QString &line : qAsConst(m_measurements))
        qInfo("%s", qPrintable(line));
    qInfo("Bad inputs covered: %d data rows", m_rows);
}

void tst_BadInput::measured(const QString &what)
{
    m_measurements.append(QStringLiteral("%1: %2").arg(QLatin1String(QTest::currentTestFunction()), what));
}

// What an operator sees of a panel that still does its job: a tick writes
// a status line, and dispatch control can be taken and given back, which
// asks the controller for local mode. Empty when it does; else what failed.
QString tst_BadInput::whyPanelFails(QWidget *panel, const BaseLight *light)
{
    if (!panel)
        return QStringLiteral("no panel");
    if (!panel->inherits("Vorlan::Widget"))
        return QStringLiteral("not a panel of the module");
    const QString status = statusAfterTick(panel);
    if (!statusLine.match(status).hasMatch())
        return QStringLiteral("status line \"%1\"").arg(status);
    QAction *dc = action(panel, "actionDC");
    QAction *yf = action(panel, "actionYF");
    if (!dc || !yf || !dc->isEnabled())
        return QStringLiteral("no usable DC action");
    const bool wasOn = dc->isChecked();
    const int setLocalCalls = light ? light->setLocalCalls : 0;
    for (const bool on : {!wasOn, wasOn}) {
        dc->trigger();
        if (dc->isChecked() != on || yf->isEnabled() != on)
            return QStringLiteral("DC %1, YF %2 after a toggle to %3")
                .arg(dc->isChecked())
                .arg(yf->isEnabled())
                .arg(on);
    }
    if (light && light->setLocalCalls != setLocalCalls + 1)
        return QStringLiteral("setLocal called %1 times").arg(light->setLocalCalls - setLocalCalls);
    return QString();
}

// The settings are read when a plug-in object is made, and only then.
void tst_BadInput::renewPlugin()
{
    delete host.plugin();
    QVERIFY(host.plugin());
}

void tst_BadInput::openArguments_data()
{
    // title: empty for no panel.
    addColumns<OpenArgument, QString>({"argument", "title"});

    QTest::newRow("null") << OpenArgument::Null << QString();
    QTest::newRow("plain QObject") << OpenArgument::PlainObject << QString();
    QTest::newRow("a widget") << OpenArgument::Widget << QString();
    QTest::newRow("the plug-in object itself") << OpenArgument::PluginObject << QString();
    QTest::newRow("an open panel") << OpenArgument::Panel << QString();
    QTest::newRow("a string instead of an object") << OpenArgument::StringArgument << QString();
    QTest::newRow("bare controller: no properties, no methods")
        << OpenArgument::BareController << QStringLiteral("41:Bare");
    QTest::newRow("number INT_MIN") << OpenArgument::NumberExtremes << QStringLiteral("-2147483648:Low");
    QTest::newRow("name with line break, tab and NUL")
        << OpenArgument::NameWithBreaks << QStringLiteral("42:North\ngate\t") + QChar(0) + QStringLiteral("x");
    // Shown cut short, so that laying the title out stays cheap.
    QTest::newRow("name of 100,000 characters")
        << OpenArgument::LongName << QStringLiteral("43:") + QString(255, QLatin1Char('n')) + QChar(0x2026);
}

void tst_BadInput::openArguments()
{
    QFETCH(OpenArgument, argument);
    QFETCH(QString, title);

    BaseLight *light = nullptr;
    QObject *object = nullptr;
    switch (argument) {
    case OpenArgument::Null:
        break;
    case OpenArgument::PlainObject:
        object = own(new QObject);
        break;
    case OpenArgument::Widget:
        object = own(new QWidget);
        break;
    case OpenArgument::PluginObject:
        object = host.plugin();
        break;
    case OpenArgument::Panel:
        object = openPanel(own(new ProbeLight(40)));
        QVERIFY(object);
        break;
    case OpenArgument::StringArgument: {
        QWidget *panel = nullptr;
        // The call itself fails: no panel, and nothing else happens.
        QVERIFY(!QMetaObject::invokeMethod(host.plugin(), "open", Q_RETURN_ARG(QWidget *, panel),
                                           Q_ARG(QString, QStringLiteral("light"))));
        QVERIFY(!panel);
        QVERIFY(host.panels().isEmpty());
        return;
    }
    case OpenArgument::BareController:
        object = own(new Helvor::Light(41, QStringLiteral("Bare")));
        break;
    case OpenArgument::NumberExtremes:
        object = light = own(new ProbeLight(intMin, QStringLiteral("Low")));
        break;
    case OpenArgument::NameWithBreaks:
        object = light = own(new ProbeLight(42, QStringLiteral("North\ngate\t") + QChar(0) + QStringLiteral("x")));
        break;
    case OpenArgument::LongName:
        object = light = own(new ProbeLight(43, QString(100000, QLatin1Char('n'))));
        break;
    }
    const QList<QWidget *> before = host.panels();
    QWidget *panel = host.open(object);
    if (title.isEmpty()) {
        QVERIFY(!panel);
        QCOMPARE(host.panels(), before);
        return;
    }
    QVERIFY(panel);
    QCOMPARE(panel->windowTitle(), title);
    QCOMPARE(whyPanelFails(panel, light), QString());
    if (argument == OpenArgument::BareController)
        QCOMPARE(statusAfterTick(panel), QStringLiteral("Disconnected: 0"));
}

void tst_BadInput::controllerProperties_data()
{
    // value: an invalid one removes the property.
    addColumns<QByteArray, QVariant, bool, QString>({"name", "value", "dispatch", "status"});

    const QVariant missing;
    auto *object = new QObject(this);
    const auto row = [](const char *name, const char *what) -> QTestData & {
        return QTest::addRow("%s %s", name, what) << QByteArray(name);
    };

    // What every row starts from, unchanged.
    row("controlSource", "3 as int") << QVariant(3) << true << QStringLiteral("YF: 15");
    row("controlSource", "missing") << missing << false << QStringLiteral("YF: 15");
    row("controlSource", "\"3\"") << QVariant(QStringLiteral("3")) << true << QStringLiteral("YF: 15");
    row("controlSource", "\"three\"") << QVariant(QStringLiteral("three")) << false << QStringLiteral("YF: 15");
    row("controlSource", "string list {3}")
        << QVariant(QStringList{QStringLiteral("3")}) << false << QStringLiteral("YF: 15");
    row("controlSource", "variant list {3}") << QVariant(QVariantList{3}) << false << QStringLiteral("YF: 15");
    row("controlSource", "map") << QVariant(QVariantMap{{QStringLiteral("source"), 3}}) << false
                                << QStringLiteral("YF: 15");
    row("controlSource", "QObject*") << objectValue(object) << false << QStringLiteral("YF: 15");
    row("controlSource", "3.0") << QVariant(3.0) << true << QStringLiteral("YF: 15");
    row("controlSource", "1e300") << QVariant(1e300) << false << QStringLiteral("YF: 15");
    row("controlSource", "NaN") << QVariant(notANumber) << false << QStringLiteral("YF: 15");
    row("controlSource", "-infinity") << QVariant(-infinity) << false << QStringLiteral("YF: 15");
    row("controlSource", "bool true") << QVariant(true) << false << QStringLiteral("YF: 15");
    row("controlSource", "bytes \"3\"") << QVariant(QByteArray("3")) << true << QStringLiteral("YF: 15");
    row("controlSource", "unsigned 3") << QVariant(3u) << true << QStringLiteral("YF: 15");
    row("controlSource", "QDateTime") << QVariant(start) << false << QStringLiteral("YF: 15");

    // A missing or unreadable algorithm reads as 0, which the centre uses.
    row("controlAlgorithm", "missing") << missing << true << QStringLiteral("YF: 15");
    row("controlAlgorithm", "\"255\"") << QVariant(QStringLiteral("255")) << true << QStringLiteral("YF: 15");
    row("controlAlgorithm", "\"253\"") << QVariant(QStringLiteral("253")) << false << QStringLiteral("YF: 15");
    row("controlAlgorithm", "\"abc\" reads 0") << QVariant(QStringLiteral("abc")) << true << QStringLiteral("YF: 15");
    row("controlAlgorithm", "map reads 0")
        << QVariant(QVariantMap{{QStringLiteral("a"), 1}}) << true << QStringLiteral("YF: 15");
    row("controlAlgorithm", "NaN reads 0") << QVariant(notANumber) << true << QStringLiteral("YF: 15");
    row("controlAlgorithm", "254.6 rounds to 255") << QVariant(254.6) << true << QStringLiteral("YF: 15");
    row("controlAlgorithm", "INT_MIN") << QVariant(intMin) << false << QStringLiteral("YF: 15");

    row("isConnected", "missing") << missing << true << QStringLiteral("Disconnected: 15");
    row("isConnected", "\"false\"") << QVariant(QStringLiteral("false")) << true << QStringLiteral("Disconnected: 15");
    // Any other text is true to QVariant::toBool.
    row("isConnected", "\"no\"") << QVariant(QStringLiteral("no")) << true << QStringLiteral("YF: 15");
    row("isConnected", "int 0") << QVariant(0) << true << QStringLiteral("Disconnected: 15");
    row("isConnected", "int 2") << QVariant(2) << true << QStringLiteral("YF: 15");
    row("isConnected", "string list {true}")
        << QVariant(QStringList{QStringLiteral("true")}) << true << QStringLiteral("Disconnected: 15");
    row("isConnected", "QObject*") << objectValue(object) << true << QStringLiteral("Disconnected: 15");
    row("isConnected", "NaN") << QVariant(notANumber) << true << QStringLiteral("Disconnected: 15");
    row("isConnected", "empty bytes") << QVariant(QByteArray()) << true << QStringLiteral("Disconnected: 15");

    row("keyRegime", "missing") << missing << true << QStringLiteral("Dark: 15");
    row("keyRegime", "\"2\"") << QVariant(QStringLiteral("2")) << true << QStringLiteral("YF: 15");
    row("keyRegime", "\"two\"") << QVariant(QStringLiteral("two")) << true << QStringLiteral("Dark: 15");
    row("keyRegime", "2.4") << QVariant(2.4) << true << QStringLiteral("YF: 15");
    row("keyRegime", "NaN") << QVariant(notANumber) << true << QStringLiteral("Dark: 15");
    row("keyRegime", "map") << QVariant(QVariantMap{{QStringLiteral("k"), 2}}) << true << QStringLiteral("Dark: 15");
    row("keyRegime", "QObject*") << objectValue(object) << true << QStringLiteral("Dark: 15");
    row("keyRegime", "INT_MIN") << QVariant(intMin) << true << QStringLiteral("Unknown state: 15");
    row("keyRegime", "INT_MAX") << QVariant(intMax) << true << QStringLiteral("Unknown state: 15");

    row("phaseChangeTime", "missing") << missing << true << QStringLiteral("YF: 0");
    row("phaseChangeTime", "invalid QDateTime") << QVariant(QDateTime()) << true << QStringLiteral("YF: 0");
    row("phaseChangeTime", "ISO text") << QVariant(QStringLiteral("2024-06-12T09:59:00Z")) << true
                                       << QStringLiteral("YF: 60");
    row("phaseChangeTime", "other text") << QVariant(QStringLiteral("a minute ago")) << true << QStringLiteral("YF: 0");
    // A count of seconds is no date to QVariant.
    row("phaseChangeTime", "seconds since 1970 as int")
        << QVariant(int(start.toSecsSinceEpoch()) - 60) << true << QStringLiteral("YF: 0");
    row("phaseChangeTime", "one second ahead") << QVariant(start.addSecs(1)) << true << QStringLiteral("YF: -1");
    // Spans beyond 32 bits are held at the limits rather than wrapped.
    row("phaseChangeTime", "year 1") << QVariant(QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC)) << true
                                     << QStringLiteral("YF: 2147483647");
    row("phaseChangeTime", "year 1870") << QVariant(QDateTime(QDate(1870, 1, 1), QTime(0, 0), Qt::UTC)) << true
                                        << QStringLiteral("YF: 2147483647");
    row("phaseChangeTime", "year 9999") << QVariant(QDateTime(QDate(9999, 12, 31), QTime(23, 59), Qt::UTC)) << true
                                        << QStringLiteral("YF: -2147483648");
    row("phaseChangeTime", "year -200,000,000") << QVariant(QDateTime(QDate(-200000000, 1, 1), QTime(0, 0), Qt::UTC))
                                                << true << QStringLiteral("YF: 2147483647");
    row("phaseChangeTime", "year 200,000,000") << QVariant(QDateTime(QDate(200000000, 1, 1), QTime(0, 0), Qt::UTC))
                                               << true << QStringLiteral("YF: -2147483648");
    row("phaseChangeTime", "variant list") << QVariant(QVariantList{start}) << true << QStringLiteral("YF: 0");

    row("shema", "QObject* (no stages to draw)") << objectValue(object) << true << QStringLiteral("YF: 15");
}

void tst_BadInput::controllerProperties()
{
    QFETCH(QByteArray, name);
    QFETCH(QVariant, value);
    QFETCH(bool, dispatch);
    QFETCH(QString, status);

    auto *light = own(new ProbeLight(50));
    light->setProperty(name.constData(), value);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QCOMPARE(dispatchActive(panel), dispatch);
    QCOMPARE(action(panel, "actionDC")->isChecked(), dispatch);
    QCOMPARE(light->setLocalCalls, dispatch ? 0 : 1);
    QCOMPARE(statusAfterTick(panel), status);

    // The state is read again on every change, with the same reading.
    Q_EMIT light->stateChanged();
    QCOMPARE(dispatchActive(panel), dispatch);
    QCOMPARE(statusAfterTick(panel), status);
    QCOMPARE(whyPanelFails(panel, light), QString());
}

void tst_BadInput::currentStageExtremes_data()
{
    // green: the rows of the list {INT_MIN, -1, 0, INT_MAX, INT_MAX} shown green.
    addColumns<int, QString, QList<int>>({"stage", "status", "green"});

    QTest::newRow("INT_MIN") << intMin << QStringLiteral("YF: 15") << QList<int>{0};
    QTest::newRow("-1") << -1 << QStringLiteral("YF: 15") << QList<int>{1};
    QTest::newRow("0") << 0 << QStringLiteral("Stage 0: 15") << QList<int>{2};
    QTest::newRow("INT_MAX, listed twice") << intMax << QStringLiteral("Stage 2147483647: 15") << QList<int>{3, 4};
    QTest::newRow("INT_MIN + 1, not listed") << intMin + 1 << QStringLiteral("YF: 15") << QList<int>{};
    QTest::newRow("INT_MAX - 1, not listed") << intMax - 1 << QStringLiteral("Stage 2147483646: 15") << QList<int>{};
}

void tst_BadInput::currentStageExtremes()
{
    QFETCH(int, stage);
    QFETCH(QString, status);
    QFETCH(QList<int>, green);

    auto *light = own(new ProbeLight(51));
    for (const int id : {intMin, -1, 0, intMax, intMax})
        light->stages.append(new Helvor::Stage(id, QStringLiteral("Stage"), QString(), light));
    light->setCurrentStage(stage);
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QCOMPARE(statusAfterTick(panel), status);
    QListWidget *list = stageList(panel);
    QCOMPARE(list->count(), 5);
    for (int row = 0; row < list->count(); ++row) {
        const QColor expected = green.contains(row) ? QColor(Qt::green) : QColor(Qt::transparent);
        QCOMPARE(list->item(row)->background().color(), expected);
    }

    // From the extreme to the other end and back: no wrap, no stale mark.
    light->setCurrentStage(stage == intMin ? intMax : intMin);
    Q_EMIT light->stateChanged();
    light->setCurrentStage(stage);
    Q_EMIT light->stateChanged();
    for (int row = 0; row < list->count(); ++row)
        QCOMPARE(list->item(row)->background().color() == QColor(Qt::green), green.contains(row));
    QVERIFY(light->commands.isEmpty());
    QCOMPARE(whyPanelFails(panel, light), QString());
}

void tst_BadInput::stageLists_data()
{
    addColumns<MakeLight, Phases, QStringList>({"make", "phases", "texts"});

    const MakeLight probe = &makeLight<ProbeLight>;
    QTest::newRow("no phases method") << &makeLight<MethodlessLight> << Phases::Missing << QStringList();
    QTest::newRow("phases returning QStringList") << &makeLight<TextPhasesLight> << Phases::Text << QStringList();
    QTest::newRow("phases returning QVariant") << &makeLight<VariantPhasesLight> << Phases::Variant << QStringList();
    QTest::newRow("phases with a default argument lists its stages")
        << &makeLight<DefaultArgumentPhasesLight> << Phases::DefaultArgument
        << QStringList{QStringLiteral("1:One"), QStringLiteral("2:Two")};
    QTest::newRow("10,000 stages") << probe << Phases::Many << QStringList();
    QTest::newRow("one number 50 times") << probe << Phases::DuplicateNumbers << repeated(QStringLiteral("7:Same"), 50);
    QTest::newRow("same stage object twice")
        << probe << Phases::SameObjectTwice << QStringList{QStringLiteral("1:One"), QStringLiteral("1:One")};
    // The controller has no "id" or "description": number 0, empty text.
    QTest::newRow("controller listed as its own stage")
        << probe << Phases::ItselfAsStage << QStringList{QStringLiteral("0:")};
}

void tst_BadInput::stageLists()
{
    QFETCH(MakeLight, make);
    QFETCH(Phases, phases);
    QFETCH(QStringList, texts);

    BaseLight *light = own(make(52));
    QVERIFY(light);
    switch (phases) {
    case Phases::Many:
        for (int id = 1; id <= manyStages; ++id)
            light->stages.append(new Helvor::Stage(id, QStringLiteral("Stage %1").arg(id), QString(), light));
        break;
    case Phases::DuplicateNumbers:
        for (int i = 0; i < 50; ++i)
            light->stages.append(new Helvor::Stage(7, QStringLiteral("Same"), QString(), light));
        break;
    case Phases::SameObjectTwice: {
        auto *stage = new Helvor::Stage(1, QStringLiteral("One"), QString(), light);
        light->stages = {stage, stage};
        break;
    }
    case Phases::ItselfAsStage:
        light->stages = {light};
        break;
    default:
        light->stages = {new Helvor::Stage(1, QStringLiteral("One"), QString(), light),
                         new Helvor::Stage(2, QStringLiteral("Two"), QString(), light)};
        break;
    }
    light->setCurrentStage(phases == Phases::Many ? manyStages : 7);

    const PeakMemory memory;
    QElapsedTimer timer;
    timer.start();
    QWidget *panel = openPanel(light);
    const qint64 openMilliseconds = timer.elapsed();
    QVERIFY(panel);
    QListWidget *list = stageList(panel);

    if (phases == Phases::Many) {
        const qint64 growth = memory.growthKibibytes();
        timer.restart();
        light->setCurrentStage(1);
        Q_EMIT light->stateChanged();
        const qint64 stateMilliseconds = timer.elapsed();
        measured(QStringLiteral("%1 stages: panel built in %2 ms, peak memory +%3 KiB%4, one state change %5 ms")
                     .arg(manyStages)
                     .arg(openMilliseconds)
                     .arg(growth)
                     .arg(memory.exact() ? QString() : QStringLiteral(" (whole-run peak)"))
                     .arg(stateMilliseconds));
        QCOMPARE(list->count(), manyStages);
        QCOMPARE(list->item(manyStages - 1)->text(), QStringLiteral("%1:Stage %1").arg(manyStages));
        QCOMPARE(list->item(0)->background().color(), QColor(Qt::green));
        QVERIFY2(openMilliseconds <= manyStagesMillisecondsBound, qPrintable(QString::number(openMilliseconds)));
        QVERIFY2(growth <= manyStagesKibibytesBound, qPrintable(QString::number(growth)));
        QVERIFY2(stateMilliseconds <= stateChangeMillisecondsBound, qPrintable(QString::number(stateMilliseconds)));
    } else {
        QStringList shown;
        for (int row = 0; row < list->count(); ++row)
            shown.append(list->item(row)->text());
        QCOMPARE(shown, texts);
        for (int row = 0; row < list->count(); ++row)
            QCOMPARE(list->item(row)->icon().availableSizes(), QList<QSize>{listIconSize});
        if (phases == Phases::DuplicateNumbers) {
            // Every item of the running number is marked.
            for (int row = 0; row < list->count(); ++row)
                QCOMPARE(list->item(row)->background().color(), QColor(Qt::green));
        }
    }
    QVERIFY(light->commands.isEmpty());
    QCOMPARE(whyPanelFails(panel, light), QString());
}

void tst_BadInput::stageProperties_data()
{
    // icon: its colours at the four points; the files are plan.svg=plan and s.svg=overlay.
    addColumns<QByteArray, QVariant, QString, int, QString>({"name", "value", "text", "number", "icon"});

    auto *object = new QObject(this);
    const auto row = [](const char *name, const char *what) -> QTestData & {
        return QTest::addRow("%s %s", name, what) << QByteArray(name);
    };
    const QString placeholder = QStringLiteral("TTTT");
    const QString longText(100000, QLatin1Char('d'));

    row("id", "3.7 rounds to 4") << QVariant(3.7) << QStringLiteral("4:Main") << 4 << placeholder;
    row("id", "-0.4 rounds to 0") << QVariant(-0.4) << QStringLiteral("0:Main") << 0 << placeholder;
    row("id", "NaN") << QVariant(notANumber) << QStringLiteral("0:Main") << 0 << placeholder;
    row("id", "bool true") << QVariant(true) << QStringLiteral("1:Main") << 1 << placeholder;
    row("id", "string list {7}") << QVariant(QStringList{QStringLiteral("7")}) << QStringLiteral("0:Main") << 0
                                 << placeholder;
    row("id", "map") << QVariant(QVariantMap{{QStringLiteral("id"), 7}}) << QStringLiteral("0:Main") << 0
                     << placeholder;
    row("id", "QObject*") << objectValue(object) << QStringLiteral("0:Main") << 0 << placeholder;
    row("id", "bytes \"7\"") << QVariant(QByteArray("7")) << QStringLiteral("7:Main") << 7 << placeholder;
    row("id", "QDateTime") << QVariant(start) << QStringLiteral("0:Main") << 0 << placeholder;
    row("id", "\" 7 \"") << QVariant(QStringLiteral(" 7 ")) << QStringLiteral("7:Main") << 7 << placeholder;
    row("id", "\"7.0\"") << QVariant(QStringLiteral("7.0")) << QStringLiteral("0:Main") << 0 << placeholder;

    row("description", "string list of two")
        << QVariant(QStringList{QStringLiteral("a"), QStringLiteral("b")}) << QStringLiteral("5:") << 5 << placeholder;
    row("description", "string list of one")
        << QVariant(QStringList{QStringLiteral("one")}) << QStringLiteral("5:one") << 5 << placeholder;
    row("description", "map") << QVariant(QVariantMap{{QStringLiteral("a"), 1}}) << QStringLiteral("5:") << 5
                              << placeholder;
    row("description", "QObject*") << objectValue(object) << QStringLiteral("5:") << 5 << placeholder;
    row("description", "UTF-8 bytes") << QVariant(QByteArray("S\xc3\xbc\x64")) << QString::fromUtf8("5:S\xc3\xbc\x64")
                                      << 5 << placeholder;
    row("description", "bool") << QVariant(true) << QStringLiteral("5:true") << 5 << placeholder;
    row("description", "1.5") << QVariant(1.5) << QStringLiteral("5:1.5") << 5 << placeholder;
    row("description", "QDateTime") << QVariant(start) << QStringLiteral("5:2024-06-12T10:00:00.000Z") << 5
                                    << placeholder;
    row("description", "100,000 characters")
        << QVariant(longText) << QStringLiteral("5:") + longText.left(255) + QChar(0x2026) << 5 << placeholder;
    row("description", "line break, NUL, right-to-left")
        << QVariant(QStringLiteral("a\nb") + QChar(0) + QString::fromUtf8("\xd7\xa9\xd7\x9c"))
        << QStringLiteral("5:a\nb") + QChar(0) + QString::fromUtf8("\xd7\xa9\xd7\x9c") << 5 << placeholder;

    // "shema" values: {dir} is the folder of the drawings.
    // No file "5" to read: the placeholder stands in.
    row("shema", "int 5: a file name \"5\"") << QVariant(5) << QStringLiteral("5:Main") << 5 << placeholder;
    row("shema", "string list {s.wmf}: composed") << QVariant(QStringList{QStringLiteral("{dir}/s.wmf")})
                                                  << QStringLiteral("5:Main") << 5 << QStringLiteral("RBBW");
    row("shema", "string list of two: empty") << QVariant(QStringList{QStringLiteral("{dir}/s.wmf"), QString()})
                                              << QStringLiteral("5:Main") << 5 << placeholder;
    row("shema", "QObject*") << objectValue(object) << QStringLiteral("5:Main") << 5 << placeholder;
    row("shema", "bytes") << QVariant(QByteArray("{dir}/s.wmf")) << QStringLiteral("5:Main") << 5
                          << QStringLiteral("RBBW");
    // A URL is not a path: "file:" becomes a folder name, so only the plan is found.
    row("shema", "file URL") << QVariant(QUrl(QStringLiteral("file:///DIR/s.wmf"))) << QStringLiteral("5:Main") << 5
                             << QStringLiteral("RRWW");
}

void tst_BadInput::stageProperties()
{
    QFETCH(QByteArray, name);
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(QString, icon);

    QVERIFY(makeFiles(QStringLiteral("plan.svg=plan|s.svg=overlay")));
    if (value.userType() == QMetaType::QString)
        value = value.toString().replace(QLatin1String("{dir}"), dirPath());
    else if (value.userType() == QMetaType::QByteArray)
        value = value.toByteArray().replace("{dir}", QFile::encodeName(dirPath()));
    else if (value.userType() == QMetaType::QStringList)
        value = value.toStringList().replaceInStrings(QStringLiteral("{dir}"), dirPath());
    else if (value.userType() == QMetaType::QUrl)
        value = QUrl::fromLocalFile(value.toUrl().toLocalFile().replace(QLatin1String("/DIR"), dirPath()));

    auto *light = own(new ProbeLight(53));
    light->setProperty("shema", dirPath(QStringLiteral("plan.wmf")));
    // A stage of no particular class, with the row's value in place of one property.
    auto *stage = new QObject(light);
    stage->setProperty("id", 5);
    stage->setProperty("description", QStringLiteral("Main"));
    stage->setProperty(name.constData(), value);
    light->stages.append(stage);
    light->setCurrentStage(number);

    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QListWidget *list = stageList(panel);
    QCOMPARE(list->count(), 1);
    QListWidgetItem *item = list->item(0);
    QCOMPARE(item->text(), text);
    QCOMPARE(item->toolTip(),
             QStringLiteral("Set stage number %1: ").arg(number) + text.mid(text.indexOf(QLatin1Char(':')) + 1));
    QCOMPARE(item->data(Qt::UserRole), QVariant(number));
    QCOMPARE(item->background().color(), QColor(Qt::green));
    QCOMPARE(Pictures::letters(item->icon()), icon);
    QCOMPARE(whyPanelFails(panel, light), QString());

    // Choosing the stage sends its number, as an int.
    item->setSelected(true);
    QCOMPARE(light->commands.value(0), (QVariantList{QStringLiteral("set_phase"), number}));
    QCOMPARE(light->commands.value(0).value(1).userType(), int(QMetaType::Int));
}

void tst_BadInput::unusableSendCommand_data()
{
    // reached: the YF command got to the controller; waiting: the panel now
    // waits for the answer.
    addColumns<MakeLight, Sender, bool, bool>({"make", "sender", "reached", "waiting"});

    QTest::newRow("no sendCommand") << &makeLight<MethodlessLight> << Sender::Missing << false << false;
    QTest::newRow("sendCommand returning void") << &makeLight<VoidCommandLight> << Sender::Void << false << false;
    QTest::newRow("sendCommand returning int") << &makeLight<IntCommandLight> << Sender::Int << false << false;
    QTest::newRow("sendCommand returning a response in a QVariant")
        << &makeLight<VariantCommandLight> << Sender::Variant << false << false;
    // Its type name is right, so the call is made; the object has no
    // finished(), so it never ends the wait. Only its deletion does.
    QTest::newRow("sendCommand returning a plain object named Response")
        << &makeLight<Foreign::Light> << Sender::Foreign << true << true;
}

void tst_BadInput::unusableSendCommand()
{
    QFETCH(MakeLight, make);
    QFETCH(Sender, sender);
    QFETCH(bool, reached);
    QFETCH(bool, waiting);

    BaseLight *light = own(make(54));
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    const int lastCommand = lastCommandCode(panel);

    action(panel, "actionYF")->trigger();
    QCOMPARE(light->commands.size(), reached ? 1 : 0);
    QCOMPARE(bool(pendingResponse(panel)), waiting);
    QCOMPARE(lastCommandCode(panel), waiting ? -1 : lastCommand);
    // A second command goes out only when nothing is awaited.
    action(panel, "actionDark")->trigger();
    QCOMPARE(light->commands.size(), reached && !waiting ? 2 : int(reached));
    // The restart asks for no answer, so it reaches every sendCommand there is.
    action(panel, "actionRestart")->trigger();
    const QVariantList restart{QStringLiteral("set_start")};
    QCOMPARE(light->commands.contains(restart), sender != Sender::Missing);
    QCOMPARE(lastCommandCode(panel), -4);
    QCOMPARE(idleSeconds(panel), -1);
    for (int i = 0; i < 100; ++i)
        Host::tick(panel);
    QCOMPARE(bool(pendingResponse(panel)), waiting);
    QCOMPARE(whyPanelFails(panel, light), QString());

    if (sender == Sender::Foreign) {
        // The host deleting the object ends the wait, unconfirmed.
        delete pendingResponse(panel);
        QVERIFY(!pendingResponse(panel));
        QCOMPARE(lastCommandCode(panel), -5);
        action(panel, "actionYF")->trigger();
        QCOMPARE(light->commands.size(), 3);
        QVERIFY(pendingResponse(panel));
    }
}

void tst_BadInput::responseLifetimes_data()
{
    // waiting: still waiting after 1,000 ticks and a pass of the event loop.
    addColumns<Lifetime, bool, int, bool>({"lifetime", "waiting", "lastCommand", "actionTime"});

    QTest::newRow("deleted at once (deleteLater)") << Lifetime::DeletedAtOnce << false << -5 << false;
    // finished() came before the panel could listen, and comes no more.
    QTest::newRow("finished before sendCommand returned") << Lifetime::FinishedBeforeReturn << true << -1 << false;
    QTest::newRow("never finishes") << Lifetime::NeverFinishes << true << -1 << false;
    QTest::newRow("confirmed, then deleted later by the host's own finished() slot")
        << Lifetime::DeletedFromOwnFinishedSlot << false << -1 << true;
}

void tst_BadInput::responseLifetimes()
{
    QFETCH(Lifetime, lifetime);
    QFETCH(bool, waiting);
    QFETCH(int, lastCommand);
    QFETCH(bool, actionTime);

    auto *light = own(new Loose::Light(55));
    QPointer<Loose::Response> response;
    light->prepare = [&](Loose::Response *made) {
        response = made;
        switch (lifetime) {
        case Lifetime::DeletedAtOnce:
            made->deleteLater();
            break;
        case Lifetime::FinishedBeforeReturn:
            made->setProperty("error", 4608);
            made->finish();
            break;
        case Lifetime::NeverFinishes:
            break;
        case Lifetime::DeletedFromOwnFinishedSlot:
            made->setProperty("error", 4608);
            // The host's connection comes first, so its slot runs before the panel's.
            connect(made, &Loose::Response::finished, made, &QObject::deleteLater);
            break;
        }
    };
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    action(panel, "actionYF")->trigger();
    QCOMPARE(light->commands.size(), 1);
    QVERIFY(response);
    QCOMPARE(sending(panel), QStringLiteral("set_yf"));
    if (lifetime == Lifetime::DeletedFromOwnFinishedSlot)
        response->finish();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (int i = 0; i < 1000; ++i)
        Host::tick(panel);
    QCOMPARE(lastCommandCode(panel), lastCommand);
    QCOMPARE(statusAfterTick(panel),
             QStringLiteral("YF: 15") + (actionTime ? QStringLiteral(" DC: 0") : QString())
                 + (waiting ? QStringLiteral(" Sending command: set_yf") : QString()));

    // Waiting or not, the next command follows the same rule.
    action(panel, "actionDark")->trigger();
    QCOMPARE(light->commands.size(), waiting ? 1 : 2);
    QCOMPARE(whyPanelFails(panel, light), QString());
}

void tst_BadInput::responseErrorValues_data()
{
    addColumns<QVariant, bool>({"error", "confirmed"});

    auto *object = new QObject(this);
    QTest::newRow("4608 as text") << QVariant(QStringLiteral("4608")) << true;
    QTest::newRow("4608 as text with blanks") << QVariant(QStringLiteral(" 4608 ")) << true;
    QTest::newRow("4608.0") << QVariant(4608.0) << true;
    QTest::newRow("4608 as bytes") << QVariant(QByteArray("4608")) << true;
    QTest::newRow("unsigned 4608") << QVariant(4608u) << true;
    QTest::newRow("\"0x1200\" is no decimal") << QVariant(QStringLiteral("0x1200")) << false;
    QTest::newRow("variant list {4608}") << QVariant(QVariantList{4608}) << false;
    QTest::newRow("map") << QVariant(QVariantMap{{QStringLiteral("error"), 4608}}) << false;
    QTest::newRow("QObject*") << objectValue(object) << false;
    QTest::newRow("bool true") << QVariant(true) << false;
    QTest::newRow("NaN") << QVariant(notANumber) << false;
    QTest::newRow("1e300") << QVariant(1e300) << false;
    // Cut to 32 bits these would read 4608: a failure taken for success.
    QTest::newRow("64-bit 0x100001200") << QVariant(qlonglong(0x100001200LL)) << false;
    QTest::newRow("unsigned 64-bit 0x100001200") << QVariant(qulonglong(0x100001200ULL)) << false;
    QTest::newRow("4294971904.0 (2^32 + 4608)") << QVariant(4294971904.0) << false;
    QTest::newRow("-4294962688 (4608 - 2^32)") << QVariant(qlonglong(-4294962688LL)) << false;
}

void tst_BadInput::responseErrorValues()
{
    QFETCH(QVariant, error);
    QFETCH(bool, confirmed);

    auto *light = own(new Loose::Light(56));
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    action(panel, "actionYF")->trigger();
    QVERIFY(light->last);
    light->last->setProperty("error", error);
    light->last->finish();
    QCOMPARE(lastCommandCode(panel), confirmed ? -1 : -5);
    QCOMPARE(statusAfterTick(panel), confirmed ? QStringLiteral("YF: 15 DC: 0") : QStringLiteral("YF: 15"));
    QCOMPARE(whyPanelFails(panel, light), QString());
}

void tst_BadInput::requestValues_data()
{
    // text: the status line's tail while the command is under way; null: no tail.
    addColumns<RequestKind, QString>({"kind", "text"});

    const QString none;
    QTest::newRow("variant list") << RequestKind::List << none;
    QTest::newRow("map") << RequestKind::Map << none;
    QTest::newRow("int") << RequestKind::Number << none;
    QTest::newRow("bytes") << RequestKind::Bytes << none;
    QTest::newRow("the response itself, without toString") << RequestKind::ResponseItself << QStringLiteral("");
    QTest::newRow("toString with a default argument") << RequestKind::DefaultArgument << QStringLiteral("set_yf");
    QTest::newRow("toString returning QByteArray") << RequestKind::BytesToString << QStringLiteral("");
    QTest::newRow("toString returning QVariant") << RequestKind::VariantToString << QStringLiteral("");
    QTest::newRow("toString as a private slot") << RequestKind::PrivateSlot << QStringLiteral("set_yf");
    // Shown cut short: a tick stays cheap whatever the host hands over.
    QTest::newRow("toString of 100,000 characters") << RequestKind::LongText << QString(100000, QLatin1Char('x'));
    QTest::newRow("toString of 50,000,000 characters") << RequestKind::LongText << QString(50000000, QLatin1Char('x'));
    QTest::newRow("toString with line break, NUL and right-to-left")
        << RequestKind::ControlCharacters
        << QStringLiteral("set\n_yf") + QChar(0) + QString::fromUtf8("\xd7\xa9\xd7\x9c");
    QTest::newRow("toString deleting the response later") << RequestKind::DeletesResponse << QStringLiteral("set_yf");
    QTest::newRow("toString reporting a state change") << RequestKind::EmitsStateChanged << QStringLiteral("set_yf");
}

void tst_BadInput::requestValues()
{
    QFETCH(RequestKind, kind);
    QFETCH(QString, text);

    auto *light = own(new Loose::Light(57));
    ScriptedRequest *scripted = nullptr;
    light->prepare = [&](Loose::Response *response) {
        QVariant request;
        switch (kind) {
        case RequestKind::List:
            request = QVariantList{QStringLiteral("set_yf")};
            break;
        case RequestKind::Map:
            request = QVariantMap{{QStringLiteral("command"), QStringLiteral("set_yf")}};
            break;
        case RequestKind::Number:
            request = 1;
            break;
        case RequestKind::Bytes:
            request = QByteArray("set_yf");
            break;
        case RequestKind::ResponseItself:
            request = objectValue(response);
            break;
        case RequestKind::DefaultArgument:
            request = objectValue(new DefaultArgumentRequest(response));
            break;
        case RequestKind::BytesToString:
            request = objectValue(new BytesRequest(response));
            break;
        case RequestKind::VariantToString:
            request = objectValue(new VariantRequest(response));
            break;
        case RequestKind::PrivateSlot:
            request = objectValue(new PrivateSlotRequest(response));
            break;
        case RequestKind::LongText:
        case RequestKind::ControlCharacters:
        case RequestKind::DeletesResponse:
        case RequestKind::EmitsStateChanged:
            scripted = new ScriptedRequest(response);
            scripted->text = text;
            if (kind == RequestKind::DeletesResponse)
                scripted->sideEffect = [response] {
                    response->deleteLater();
                };
            if (kind == RequestKind::EmitsStateChanged) {
                scripted->sideEffect = [light] {
                    light->setProperty("keyRegime", 0);
                    Q_EMIT light->stateChanged();
                };
            }
            request = objectValue(scripted);
            break;
        }
        response->setProperty("request", request);
    };
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    action(panel, "actionYF")->trigger();
    QVERIFY(pendingResponse(panel));

    QElapsedTimer timer;
    timer.start();
    const QString status = statusAfterTick(panel);
    const qint64 tickMilliseconds = timer.elapsed();
    const QString state = kind == RequestKind::EmitsStateChanged ? QStringLiteral("Dark") : QStringLiteral("YF");
    const QString shown = text.size() > 256 ? text.left(255) + QChar(0x2026) : text;
    const QString sending = text.isNull() ? QString() : QStringLiteral(" Sending command: ") + shown;
    // The state text of this tick was composed before toString ran.
    QCOMPARE(status, QStringLiteral("YF: 15") + sending);
    if (kind == RequestKind::LongText)
        measured(
            QStringLiteral("tick with a request text of %1 characters: %2 ms").arg(text.size()).arg(tickMilliseconds));
    QVERIFY2(tickMilliseconds <= tickMillisecondsBound, qPrintable(QString::number(tickMilliseconds)));
    if (scripted)
        QCOMPARE(scripted->calls, 1);

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const bool gone = kind == RequestKind::DeletesResponse;
    QCOMPARE(bool(pendingResponse(panel)), !gone);
    QCOMPARE(statusAfterTick(panel), state + QStringLiteral(": 15") + (gone ? QString() : sending));
    QCOMPARE(whyPanelFails(panel, light), QString());
}

void tst_BadInput::hostTexts_data()
{
    // text: {fifo} is a FIFO, {zero} a link to /dev/zero: Qt's rich text reads
    // the file an image names while it lays the text out.
    addColumns<Shown, QString>({"shown", "text"});

    const struct
    {
        const char *what;
        const char *text;
    } texts[] = {
        {"bold markup", "<b>set_yf</b>"},
        {"an image that is a FIFO", "<img src=\"{fifo}\">set_yf"},
        {"an image reading /dev/zero", "<img src=\"{zero}\">set_yf"},
        {"a link and an entity", "<a href=\"file:///etc/passwd\">set&amp;yf</a>"},
    };
    for (const auto &text : texts) {
        QTest::addRow("stage tip with %s", text.what) << Shown::Tip << QString::fromUtf8(text.text);
        QTest::addRow("status line with %s", text.what) << Shown::Status << QString::fromUtf8(text.text);
    }
}

// Descriptions and request texts are the host's words: the operator reads
// them as they are, and nothing in them makes the panel read a file.
void tst_BadInput::hostTexts()
{
    QFETCH(Shown, shown);
    QFETCH(QString, text);

    QVERIFY(makeFiles(QStringLiteral("fifo.png=fifo|zero.png=zero")));
    text.replace(QLatin1String("{fifo}"), dirPath(QStringLiteral("fifo.png")));
    text.replace(QLatin1String("{zero}"), dirPath(QStringLiteral("zero.png")));

    const PeakMemory memory;
    QElapsedTimer timer;
    timer.start();
    QString seen;
    if (shown == Shown::Tip) {
        auto *light = own(new ProbeLight(58));
        light->stages.append(new Helvor::Stage(4, text, QString(), light));
        QWidget *panel = openPanel(light);
        QVERIFY(panel);
        panel->show();
        QListWidget *list = stageList(panel);
        const QPoint at = list->visualItemRect(list->item(0)).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list->viewport(), &help);
        QVERIFY(QToolTip::isVisible());
        // What the tip shows, as the operator reads it.
        QTextDocument document;
        document.setHtml(QToolTip::text());
        seen = document.toPlainText();
        QToolTip::hideText();
        QCOMPARE(seen, QStringLiteral("Set stage number 4: ") + text);
    } else {
        auto *light = own(new Loose::Light(58));
        light->prepare = [text](Loose::Response *response) {
            auto *request = new ScriptedRequest(response);
            request->text = text;
            response->setProperty("request", objectValue(request));
        };
        QWidget *panel = openPanel(light);
        QVERIFY(panel);
        panel->show();
        action(panel, "actionYF")->trigger();
        QLabel *label = statusLabel(panel);
        QVERIFY(label);
        Host::tick(panel);
        // Laid out and drawn, as the operator's screen would.
        label->grab();
        seen = label->text();
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(seen, QStringLiteral("YF: 15 Sending command: ") + text);
    }
    const qint64 milliseconds = timer.elapsed();
    const qint64 growth = memory.growthKibibytes();
    QCOMPARE(fifoReleases(), 0);
    QVERIFY2(milliseconds <= tickMillisecondsBound, qPrintable(QStringLiteral("%1 ms").arg(milliseconds)));
    QVERIFY2(growth <= pictureKibibytesBound, qPrintable(QStringLiteral("%1 KiB").arg(growth)));
}

void tst_BadInput::schemaPaths_data()
{
    // icon: Pictures::letters, the colours at the four points, "unread", "null".
    addColumns<QString, QString, QString, QString>({"files", "lightSchema", "stageSchema", "icon"});

    // Each row has the plan at hand, and where it can, the overlay too:
    // the icon tells which drawings were read.
    const QString plan = QStringLiteral("{dir}/plan.wmf");
    const QString stage = QStringLiteral("{dir}/s.wmf");
    const QString longComponent(300, QLatin1Char('c'));
    QString longPath = QStringLiteral("{dir}");
    while (longPath.size() <= 4200)
        longPath += QStringLiteral("/") + QString(200, QLatin1Char('p'));

    QTest::newRow("drawings readable: both drawn")
        << QStringLiteral("plan.svg=plan|s.svg=overlay") << plan << stage << QStringLiteral("RBBW");
    QTest::newRow("sibling is a folder") << QStringLiteral("plan.svg=plan|s.svg=dir") << plan << stage
                                         << QStringLiteral("RRWW");
    QTest::newRow("sibling is a FIFO") << QStringLiteral("plan.svg=plan|s.svg=fifo") << plan << stage
                                       << QStringLiteral("RRWW");
    QTest::newRow("controller's sibling is a FIFO")
        << QStringLiteral("plan.svg=fifo|s.svg=overlay") << plan << stage << QStringLiteral("WBBW");
    QTest::newRow("sibling links to /dev/zero")
        << QStringLiteral("plan.svg=plan|s.svg=zero") << plan << stage << QStringLiteral("RRWW");
    QTest::newRow("sibling is a socket") << QStringLiteral("plan.svg=plan|s.svg=socket") << plan << stage
                                         << QStringLiteral("RRWW");
    QTest::newRow("stage picture is a socket")
        << QStringLiteral("s.png=socket") << plan << QStringLiteral("{dir}/s.png") << QStringLiteral("TTTT");
    QTest::newRow("stage picture is a FIFO named .png")
        << QStringLiteral("s.png=fifo") << plan << QStringLiteral("{dir}/s.png") << QStringLiteral("TTTT");
    QTest::newRow("stage picture is a FIFO named .svg")
        << QStringLiteral("s.svg=fifo") << plan << QStringLiteral("{dir}/s.svg") << QStringLiteral("TTTT");
    QTest::newRow("stage picture links to /dev/zero")
        << QStringLiteral("s.png=zero") << plan << QStringLiteral("{dir}/s.png") << QStringLiteral("TTTT");
    // chmod 000 does not stop root, which the tests may run as: a file
    // that cannot be read is tested as a FIFO and through a non-folder.
    QTest::newRow("sibling with mode 000 (root reads it all the same)")
        << QStringLiteral("plan.svg=plan|s.svg=overlay|chmod 000 s.svg") << plan << stage
        << (::geteuid() == 0 ? QStringLiteral("RBBW") : QStringLiteral("RRWW"));
    QTest::newRow("path through a file") << QStringLiteral("f=plan") << QStringLiteral("{dir}/f/plan.wmf")
                                         << QStringLiteral("{dir}/f/s.wmf") << QStringLiteral("WWWW");
    QTest::newRow("missing folder") << QStringLiteral("plan.svg=plan") << plan << QStringLiteral("{dir}/none/s.wmf")
                                    << QStringLiteral("RRWW");
    QTest::newRow("missing picture: the placeholder")
        << QString() << plan << QStringLiteral("{dir}/none.png") << QStringLiteral("TTTT");
    QTest::newRow("stage schema is a folder named .wmf")
        << QStringLiteral("plan.svg=plan|s.wmf=dir|s.svg=overlay") << plan << stage << QStringLiteral("RBBW");
    QTest::newRow("empty stage and controller schemas")
        << QString() << QString() << QString() << QStringLiteral("TTTT");
    QTest::newRow("path of more than 4,096 characters")
        << QStringLiteral("plan.svg=plan") << plan << longPath + QStringLiteral("/s.wmf") << QStringLiteral("RRWW");
    QTest::newRow("controller path of more than 4,096 characters")
        << QStringLiteral("s.svg=overlay") << longPath + QStringLiteral("/plan.wmf") << stage << QStringLiteral("WBBW");
    QTest::newRow("component of 300 characters")
        << QStringLiteral("plan.svg=plan") << plan << QStringLiteral("{dir}/") + longComponent + QStringLiteral(".wmf")
        << QStringLiteral("RRWW");
    QTest::newRow("picture with a component of 300 characters")
        << QString() << plan << QStringLiteral("{dir}/") + longComponent + QStringLiteral(".png")
        << QStringLiteral("TTTT");
    QTest::newRow("Cyrillic name") << QString::fromUtf8("plan.svg=plan|\xd0\xa4\xd0\xb0\xd0\xb7\xd0\xb0.svg=overlay")
                                   << plan << QString::fromUtf8("{dir}/\xd0\xa4\xd0\xb0\xd0\xb7\xd0\xb0.wmf")
                                   << QStringLiteral("RBBW");
    QTest::newRow("emoji name") << QString::fromUtf8("plan.svg=plan|\xf0\x9f\x9a\xa6.svg=overlay") << plan
                                << QString::fromUtf8("{dir}/\xf0\x9f\x9a\xa6.wmf") << QStringLiteral("RBBW");
    QTest::newRow("combining accent, same form")
        << QString::fromUtf8("plan.svg=plan|e\xcc\x81tape.svg=overlay") << plan
        << QString::fromUtf8("{dir}/e\xcc\x81tape.wmf") << QStringLiteral("RBBW");
    // File names are bytes: the composed form names another file.
    QTest::newRow("combining accent on disk, composed form asked")
        << QString::fromUtf8("plan.svg=plan|e\xcc\x81tape.svg=overlay") << plan
        << QString::fromUtf8("{dir}/\xc3\xa9tape.wmf") << QStringLiteral("RRWW");
    QTest::newRow("line break in the name") << QStringLiteral("plan.svg=plan|s\nt.svg=overlay") << plan
                                            << QStringLiteral("{dir}/s\nt.wmf") << QStringLiteral("RBBW");
    // Cut at the NUL, the name would be s.svg, whose overlay is there.
    QTest::newRow("NUL in the stage path")
        << QStringLiteral("plan.svg=plan|s.svg=overlay") << plan
        << QStringLiteral("{dir}/s.svg") + QChar(0) + QStringLiteral("x.wmf") << QStringLiteral("RRWW");
    // Cut at the NUL, the controller's drawing would be the file pl.
    QTest::newRow("NUL in the controller path")
        << QStringLiteral("pl=plan|s.svg=overlay") << QStringLiteral("{dir}/pl") + QChar(0) + QStringLiteral("an.wmf")
        << stage << QStringLiteral("WBBW");
    QTest::newRow("NUL in a picture path")
        << QStringLiteral("s.png=green") << plan << QStringLiteral("{dir}/s.png") + QChar(0) + QStringLiteral(".png")
        << QStringLiteral("TTTT");
}

void tst_BadInput::schemaPaths()
{
    QFETCH(QString, files);
    QFETCH(QString, lightSchema);
    QFETCH(QString, stageSchema);
    QFETCH(QString, icon);

    QString chmod;
    if (files.contains(QLatin1String("|chmod 000 "))) {
        chmod = files.section(QLatin1String("|chmod 000 "), 1);
        files = files.section(QLatin1String("|chmod 000 "), 0, 0);
    }
    QVERIFY(makeFiles(files));
    if (!chmod.isEmpty())
        QVERIFY(QFile::setPermissions(dirPath(chmod), {}));

    auto *light = own(new ProbeLight(58));
    light->setProperty("shema", inDir(lightSchema));
    light->stages.append(new Helvor::Stage(1, QStringLiteral("Main"), inDir(stageSchema), light));
    QElapsedTimer timer;
    timer.start();
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QListWidget *list = stageList(panel);
    QCOMPARE(list->count(), 1);
    // Drawn as the list would draw it, which is when a lazy icon reads its file.
    QCOMPARE(Pictures::letters(list->item(0)->icon()), icon);
    const qint64 milliseconds = timer.elapsed();
    QCOMPARE(fifoReleases(), 0);
    QVERIFY2(milliseconds <= pictureMillisecondsBound, qPrintable(QString::number(milliseconds)));
    QCOMPARE(whyPanelFails(panel, light), QString());
}

void tst_BadInput::hostilePictures_data()
{
    // icon: Pictures::letters of the stage's icon; green: some green shows, the
    // text or image meant to show whether something was read.
    addColumns<QString, Where, QString, bool>({"content", "where", "icon", "green"});

    // Where the hostile file goes: the stage's drawing beside s.wmf, the
    // controller's beside plan.wmf, or the stage's own picture s.svg. The
    // other drawing is the usual one, so the colours tell which were drawn.
    const auto stage = [](const char *name, const char *content, const char *icon, bool green = false) {
        QTest::addRow("%s, stage drawing", name)
            << QString::fromUtf8(content) << Where::Stage << QString::fromUtf8(icon) << green;
    };
    const auto controller = [](const char *name, const char *content, const char *icon) {
        QTest::addRow("%s, controller drawing", name)
            << QString::fromUtf8(content) << Where::Controller << QString::fromUtf8(icon) << false;
    };
    const auto picture = [](const char *name, const char *content, const char *icon) {
        QTest::addRow("%s, stage picture", name)
            << QString::fromUtf8(content) << Where::Picture << QString::fromUtf8(icon) << false;
    };

    stage("PNG bytes", "png", "RRWW");
    stage("truncated SVG", "truncated", "RRWW");
    stage("empty file", "empty", "RRWW");
    stage("1,000 nested groups", "nested 1000", "RBBW");
    stage("100,000 nested groups", "nested 100000", "RRWW");
    controller("100,000 nested groups", "nested 100000", "WBBW");
    // Qt's SVG icon that cannot load its drawing is null: the blank stands in.
    picture("100,000 nested groups", "nested 100000", "TTTT");
    stage("size and view box 1e9", "huge", "RBBW");
    // Drawn at its own square proportions within 200 x 125.
    picture("size and view box 1e9", "huge", "TBBT 125x125");
    stage("19,000 rectangles", "rects 19000", "RBBW");
    // Beyond the bound on drawing work: none of it is drawn.
    stage("50,000 rectangles", "rects 50000", "RRWW");
    // The costliest drawing within that bound: rectangles as large as the
    // picture, rounded, stroked and translucent, which take longer than a
    // drawing may: how much of it shows depends on the machine ('*').
    stage("19,990 rectangles filling the picture", "rects worst", "*");
    // What Qt takes seconds over in one shape, bounded: a stroke wider than
    // the picture with round joins, and a rectangle's outline as wide,
    // dashed in pieces of a fraction of a pixel. The dashes become one
    // stroke, of which Qt draws little or nothing at that width.
    stage("stroke 30,000 wide with round joins", "stroke wide", "BBBB");
    // Each of its 2,000 joins covers the picture: more work than a drawing
    // may take, so the stroke is left out.
    stage("stroke 500 wide with 2,000 round joins", "stroke joins", "RRWW");
    stage("stroke 20,000 wide in dashes of 0.3", "stroke dashed", "*");
    stage("billion laughs", "laughs", "RRWW");
    controller("billion laughs", "laughs", "WBBW");
    // A drawing that declares entities is not drawn at all, so that none is expanded.
    stage("external entity in an attribute", "entity attribute", "RRWW");
    stage("external entity file:///etc/passwd in text", "entity passwd", "RRWW");
    stage("external entity naming a file of Ws in text", "entity secret", "RRWW");
    stage("internal entity in text", "entity internal", "RRWW");
    // The check on the rows above: the same text, without an entity, shows.
    stage("plain text", "text plain", "RBBW", true);
    // An image is drawn from inline data only, never from another file.
    stage("image by relative name", "image relative", "RRWW");
    stage("image by absolute name", "image absolute", "RRWW");
    stage("inline image", "image inline", "RGGW", true);
    stage("image 40 x 40 from the bomb maker", "image black", "RRWW");
    stage("image 4,096 x 4,096", "image 4096", "RRWW");
    stage("image 4,097 x 4,096", "image 4097", "RRWW");
    stage("inline image 40 x 40 from the bomb maker", "image inline black", "RKKW");
    stage("inline image 4,096 x 4,096", "image inline 4096", "RKKW");
    stage("inline image 4,097 x 4,096", "image inline 4097", "RRWW");
    // The second image, over the plan's corner, would take the drawing beyond the pixel bound.
    stage("two inline images 4,096 x 4,096", "image inline 4096 twice", "RKKW");
    stage("image 10,000 x 10,000 in 2 MB", "image bomb", "RRWW");
    controller("image 10,000 x 10,000 in 2 MB", "image bomb", "WBBW");
    picture("image 10,000 x 10,000 in 2 MB", "image bomb", "TTTT");
    stage("inline image 10,000 x 10,000", "image inline bomb", "RRWW");
    picture("inline image 10,000 x 10,000", "image inline bomb", "TTTT");
    stage("image that is a FIFO", "image fifo", "RRWW");
    controller("image that is a FIFO", "image fifo", "WBBW");
    picture("image that is a FIFO", "image fifo", "TTTT");
    stage("image linked to /dev/zero", "image zero", "RRWW");
    // Qt would draw the image through its SVG reader, which loads the
    // drawing again, and again, until the stack runs out.
    stage("image that is the drawing itself", "image itself", "RRWW");
    controller("image that is the drawing itself", "image itself", "WBBW");
    picture("image that is the drawing itself", "image itself", "TTTT");
    stage("two drawings naming each other", "image other", "RRWW");
    stage("inline SVG image", "image inline svg", "RRWW");
    // Qt's reader trims the name it is given; the white space hid it from a scan.
    stage("image with a blank before the drawing's own name", "image blank itself", "RRWW");
    controller("image with a blank before the drawing's own name", "image blank itself", "WBBW");
    picture("image with a blank before the drawing's own name", "image blank itself", "TTTT");
    stage("image with a blank after the drawing's own name", "image itself blank", "RRWW");
    stage("image with a blank before the name of a FIFO", "image blank fifo", "RRWW");
    picture("image with a blank before the name of a FIFO", "image blank fifo", "TTTT");
    stage("image with a blank before /dev/zero", "image blank zero", "RRWW");
    // Qt's reader loads the style sheet a processing instruction names.
    stage("style sheet /dev/zero", "stylesheet zero", "RBBW");
    stage("style sheet that is a FIFO", "stylesheet fifo", "RBBW");
    controller("style sheet that is a FIFO", "stylesheet fifo", "WBBW");
    picture("style sheet that is a FIFO", "stylesheet fifo", "TBBT");
    stage("style sheet that would make a rectangle green", "stylesheet green", "RBBW");
    // Inflated by the reader without a bound, such a file takes gigabytes.
    stage("compressed drawing inflating to 512 MiB", "svgz bomb", "RRWW");
    controller("compressed drawing inflating to 512 MiB", "svgz bomb", "WBBW");
    picture("compressed drawing inflating to 512 MiB", "svgz bomb", "TTTT");
    stage("compressed drawing", "svgz overlay", "RBBW");
    picture("compressed drawing", "svgz overlay", "TBBT");
    // Ten <use> of ten of ten ...: 10^9 rectangles.
    stage("nested <use> bomb", "use bomb", "RRWW");
    controller("nested <use> bomb", "use bomb", "WBBW");
    stage("<use> of its own group", "use itself", "RBBW");
    // Each level repeats the one before inside 600 groups: 1,200 levels drawn.
    stage("<use> 1,200 levels deep", "use deep", "RRWW");
    stage("style rules against every element", "style flood", "RRWW");
    stage("gradient of 1,000 stops", "stops 1000", "RRWW");
    stage("text of 100,000 characters", "text flood", "RRWW");
    // A link, a choice of what to draw and a media query are drawn as Qt draws them.
    stage("link, switch and media query", "link switch media", "RBBW");
    // What an Inkscape drawing carries besides the drawing must not cost the drawing.
    stage("Inkscape drawing", "inkscape", "RBBW");
    controller("Inkscape drawing", "inkscape", "WBBW");
    picture("Inkscape drawing", "inkscape", "TBBT");
    stage("drawing of 8 MiB", "bytes 8388608", "RBBW");
    stage("drawing of 8 MiB and 1 byte", "bytes 8388609", "RRWW");
}

void tst_BadInput::hostilePictures()
{
    QFETCH(QString, content);
    QFETCH(Where, where);
    QFETCH(QString, icon);
    QFETCH(bool, green);

    QString hostileName = where == Where::Controller ? QStringLiteral("plan.svg") : QStringLiteral("s.svg");
    // A compressed drawing as a stage picture goes by its usual suffix.
    if (where == Where::Picture && content.startsWith(QLatin1String("svgz ")))
        hostileName = QStringLiteral("s.svgz");
    QVERIFY(makeFiles(where == Where::Controller ? QStringLiteral("s.svg=overlay") : QStringLiteral("plan.svg=plan")));

    QByteArray bytes;
    const QByteArray secret = dirPath(QStringLiteral("secret.txt")).toUtf8();
    // Top right, clear of the four points the colours are read at.
    const QByteArray text = "<text x=\"130\" y=\"30\" font-size=\"30\" fill=\"#00ff00\">&x;</text>";
    if (content == QLatin1String("png")) {
        bytes = Pictures::png(QSize(64, 40));
    } else if (content == QLatin1String("truncated")) {
        bytes = Pictures::svg(Pictures::overlayBody);
        bytes.chop(bytes.size() / 2);
    } else if (content.startsWith(QLatin1String("nested "))) {
        bytes = Pictures::svg(nested(content.mid(7).toInt(), Pictures::overlayBody));
    } else if (content == QLatin1String("huge")) {
        bytes = Pictures::svg("<rect x=\"4e8\" y=\"3.2e8\" width=\"2e8\" height=\"3.2e8\" fill=\"#0000ff\"/>", {},
                              "width=\"1e9\" height=\"1e9\" viewBox=\"0 0 1e9 1e9\"");
    } else if (content == QLatin1String("rects worst")) {
        bytes =
            Pictures::svg("<style>rect{fill:#0000ff;fill-opacity:.5;stroke:#000000;stroke-width:5}</style>"
                          + QByteArray("<rect width=\"200\" height=\"125\" rx=\"30\"/>").repeated(19990)
                          + "<rect width=\"200\" height=\"125\" fill=\"#0000ff\" fill-opacity=\"1\" stroke=\"none\"/>");
    } else if (content == QLatin1String("stroke wide")) {
        QByteArray path = "M 10,10";
        for (int i = 0; i < 100; ++i)
            path += " C " + QByteArray::number(i * 37 % 400) + ',' + QByteArray::number(i * 53 % 250) + ' '
                + QByteArray::number(i * 71 % 400) + ',' + QByteArray::number(i * 29 % 250) + ' '
                + QByteArray::number(i * 13 % 400) + ',' + QByteArray::number(i * 97 % 250);
        bytes = Pictures::svg("<path d=\"" + path
                              + "\" fill=\"none\" stroke=\"#0000ff\" stroke-width=\"30000\" stroke-linejoin=\"round\" "
                                "stroke-linecap=\"round\"/>");
    } else if (content == QLatin1String("stroke joins")) {
        QByteArray path = "M 0,0";
        for (int i = 1; i <= 2000; ++i)
            path += " L " + QByteArray::number(i * 37 % 400) + ',' + QByteArray::number(i * 53 % 250);
        bytes = Pictures::svg("<path d=\"" + path
                              + "\" fill=\"none\" stroke=\"#0000ff\" stroke-opacity=\"0.5\" stroke-width=\"500\" "
                                "stroke-linejoin=\"round\"/>");
    } else if (content == QLatin1String("stroke dashed")) {
        bytes = Pictures::svg(
            "<rect x=\"10\" y=\"10\" width=\"300\" height=\"200\" rx=\"30\" fill=\"none\" stroke=\"#0000ff\" "
            "stroke-width=\"20000\" stroke-linejoin=\"round\" stroke-dasharray=\"0.3 0.1\"/>");
    } else if (content.startsWith(QLatin1String("rects "))) {
        bytes = Pictures::svg(Pictures::overlayBody.repeated(content.mid(6).toInt()));
    } else if (content == QLatin1String("laughs")) {
        QByteArray doctype = "<!DOCTYPE svg [<!ENTITY x0 \"ha\">";
        for (int level = 1; level <= 10; ++level)
            doctype += "<!ENTITY x" + QByteArray::number(level) + " \""
                + ("&x" + QByteArray::number(level - 1) + ";").repeated(10) + "\">";
        bytes = Pictures::svg(Pictures::overlayBody + "<text x=\"0\" y=\"20\">&x10;</text>", doctype + "]>");
    } else if (content == QLatin1String("entity attribute")) {
        QVERIFY(makeFiles(QStringLiteral("colour.txt=#0000ff")));
        bytes = Pictures::svg("<rect x=\"80\" y=\"40\" width=\"40\" height=\"40\" fill=\"&x;\"/>",
                              "<!DOCTYPE svg [<!ENTITY x SYSTEM \"file://"
                                  + dirPath(QStringLiteral("colour.txt")).toUtf8() + "\">]>");
    } else if (content == QLatin1String("entity passwd")) {
        bytes =
            Pictures::svg(Pictures::overlayBody + text, "<!DOCTYPE svg [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>");
    } else if (content == QLatin1String("entity secret")) {
        QVERIFY(makeFiles(QStringLiteral("secret.txt=WWWWWWWW")));
        bytes = Pictures::svg(Pictures::overlayBody + text,
                              "<!DOCTYPE svg [<!ENTITY x SYSTEM \"file://" + secret + "\">]>");
    } else if (content == QLatin1String("entity internal")) {
        bytes = Pictures::svg(Pictures::overlayBody + text, "<!DOCTYPE svg [<!ENTITY x \"WWWWWWWW\">]>");
    } else if (content == QLatin1String("text plain")) {
        bytes = Pictures::svg(Pictures::overlayBody + QByteArray(text).replace("&x;", "WWWWWWWW"));
    } else if (content == QLatin1String("text flood")) {
        bytes = Pictures::svg(Pictures::overlayBody + "<text x=\"0\" y=\"20\">" + QByteArray(100000, 'W') + "</text>");
    } else if (content.startsWith(QLatin1String("stylesheet "))) {
        // The overlay, and a rectangle without colour of its own, top right.
        QByteArray href = "/dev/zero";
        if (content.endsWith(QLatin1String("fifo")) || content.endsWith(QLatin1String("green"))) {
            QVERIFY(makeFiles(QStringLiteral("style.css=")
                              + (content.endsWith(QLatin1String("fifo")) ? QStringLiteral("fifo")
                                                                         : QStringLiteral("rect { fill: #00ff00 }"))));
            href = dirPath(QStringLiteral("style.css")).toUtf8();
        }
        bytes = Pictures::svg(Pictures::overlayBody + "<rect x=\"130\" y=\"5\" width=\"60\" height=\"30\"/>",
                              "<?xml-stylesheet type=\"text/css\" href=\"" + href + "\"?>\n");
    } else if (content == QLatin1String("svgz bomb")) {
        bytes = gzipBomb(Pictures::svg({}).replace("</svg>\n", "<!--"), qint64(512) << 20);
    } else if (content == QLatin1String("svgz overlay")) {
        bytes = gzip(Pictures::svg(Pictures::overlayBody));
    } else if (content.startsWith(QLatin1String("use "))) {
        const QString use = content.mid(4);
        QByteArray body;
        if (use == QLatin1String("bomb")) {
            body = "<defs><g id=\"a0\">" + Pictures::overlayBody + "</g>";
            for (int level = 1; level <= 9; ++level)
                body += "<g id=\"a" + QByteArray::number(level) + "\">"
                    + ("<use xlink:href=\"#a" + QByteArray::number(level - 1) + "\"/>").repeated(10) + "</g>";
            body += "</defs><use xlink:href=\"#a9\"/>";
        } else if (use == QLatin1String("itself")) {
            body = "<g id=\"a\"><use xlink:href=\"#a\"/></g>" + Pictures::overlayBody;
        } else if (use == QLatin1String("deep")) {
            body = "<defs><g id=\"a0\">" + nested(600, "<rect width=\"1\" height=\"1\"/>") + "</g><g id=\"a1\">"
                + nested(600, "<use xlink:href=\"#a0\"/>") + "</g></defs>" + Pictures::overlayBody;
        }
        bytes = Pictures::svg(body);
    } else if (content == QLatin1String("style flood")) {
        // Every rule against every group, up through all its ancestors.
        bytes = Pictures::svg("<style>" + QByteArray("q g,").repeated(10000) + "q g { fill: #00ff00 }</style>"
                              + nested(500, Pictures::overlayBody));
    } else if (content.startsWith(QLatin1String("stops "))) {
        bytes =
            Pictures::svg("<defs><linearGradient id=\"g\">"
                          + QByteArray("<stop offset=\"0.5\" stop-color=\"#00ff00\"/>").repeated(content.mid(6).toInt())
                          + "</linearGradient></defs>" + Pictures::overlayBody);
    } else if (content == QLatin1String("link switch media")) {
        bytes =
            Pictures::svg("<style>@media screen { rect { stroke: none } }</style><a xlink:href=\"http://example.org/\">"
                          "<switch><foreignObject width=\"200\" height=\"125\"/>"
                          + Pictures::overlayBody + "</switch></a>");
    } else if (content == QLatin1String("inkscape")) {
        bytes =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
            "<!-- Created with Inkscape (http://www.inkscape.org/) -->\n"
            "<svg width=\"200\" height=\"125\" viewBox=\"0 0 200 125\" version=\"1.1\" id=\"svg5\"\n"
            "   inkscape:version=\"1.2.2 (b0a8486541, 2022-12-01)\" sodipodi:docname=\"s.svg\"\n"
            "   xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\"\n"
            "   xmlns:sodipodi=\"http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd\"\n"
            "   xmlns=\"http://www.w3.org/2000/svg\" xmlns:svg=\"http://www.w3.org/2000/svg\"\n"
            "   xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns:cc=\"http://creativecommons.org/ns#\"\n"
            "   xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
            "  <sodipodi:namedview id=\"namedview7\" pagecolor=\"#ffffff\" bordercolor=\"#666666\"\n"
            "     inkscape:pageopacity=\"0.0\" inkscape:document-units=\"px\" showgrid=\"true\">\n"
            "    <inkscape:grid type=\"xygrid\" id=\"grid9\" />\n"
            "  </sodipodi:namedview>\n"
            "  <defs id=\"defs2\" />\n"
            "  <metadata id=\"metadata5\">\n"
            "    <rdf:RDF><cc:Work rdf:about=\"\"><dc:format>image/svg+xml</dc:format>\n"
            "      <dc:title>Stage 1</dc:title></cc:Work></rdf:RDF>\n"
            "  </metadata>\n"
            "  <g inkscape:label=\"Layer 1\" inkscape:groupmode=\"layer\" id=\"layer1\">\n"
            "    <path style=\"fill:#0000ff;fill-opacity:1;stroke:none\" d=\"M 80,40 H 120 V 80 H 80 Z\"\n"
            "       id=\"rect1\" sodipodi:nodetypes=\"ccccc\" inkscape:connector-curvature=\"0\" />\n"
            "  </g>\n"
            "</svg>\n";
    } else if (content.startsWith(QLatin1String("image "))) {
        const QString image = content.mid(6);
        QByteArray href = "picture.png";
        QByteArray picture;
        if (image == QLatin1String("relative")) {
            picture = Pictures::png(QSize(40, 40));
        } else if (image == QLatin1String("absolute")) {
            picture = Pictures::png(QSize(40, 40));
            href = dirPath(QStringLiteral("picture.png")).toUtf8();
        } else if (image == QLatin1String("inline")) {
            href = "data:image/png;base64," + Pictures::png(QSize(40, 40)).toBase64();
        } else if (image == QLatin1String("inline black")) {
            href = "data:image/png;base64," + blackPng(40, 40).toBase64();
        } else if (image.startsWith(QLatin1String("inline 4096"))) {
            href = "data:image/png;base64," + blackPng(4096, 4096).toBase64();
        } else if (image == QLatin1String("inline 4097")) {
            href = "data:image/png;base64," + blackPng(4097, 4096).toBase64();
        } else if (image == QLatin1String("blank itself")) {
            href = ' ' + dirPath(hostileName).toUtf8();
        } else if (image == QLatin1String("itself blank")) {
            href = dirPath(hostileName).toUtf8() + ' ';
        } else if (image == QLatin1String("blank fifo")) {
            QVERIFY(makeFiles(QStringLiteral("picture.png=fifo")));
            href = ' ' + dirPath(QStringLiteral("picture.png")).toUtf8();
        } else if (image == QLatin1String("blank zero")) {
            href = " /dev/zero";
        } else if (image == QLatin1String("black")) {
            picture = blackPng(40, 40);
        } else if (image == QLatin1String("4096")) {
            picture = blackPng(4096, 4096);
        } else if (image == QLatin1String("4097")) {
            picture = blackPng(4097, 4096);
        } else if (image == QLatin1String("bomb")) {
            picture = blackPng(10000, 10000);
        } else if (image == QLatin1String("inline bomb")) {
            href = "data:image/png;base64," + blackPng(10000, 10000).toBase64();
        } else if (image == QLatin1String("fifo")) {
            QVERIFY(makeFiles(QStringLiteral("picture.png=fifo")));
        } else if (image == QLatin1String("zero")) {
            QVERIFY(makeFiles(QStringLiteral("picture.png=zero")));
        } else if (image == QLatin1String("itself")) {
            href = hostileName.toUtf8();
        } else if (image == QLatin1String("other")) {
            href = "other.svg";
            QVERIFY(makeFiles(QStringLiteral("other.svg=")
                              + QString::fromUtf8(Pictures::svg(imageAtOverlay(hostileName.toUtf8())))));
        } else if (image == QLatin1String("inline svg")) {
            href = "data:image/svg+xml;base64," + Pictures::svg(Pictures::overlayBody).toBase64();
        }
        if (!picture.isEmpty()) {
            QFile file(dirPath(QStringLiteral("picture.png")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(picture), qint64(picture.size()));
        }
        QByteArray body = imageAtOverlay(href);
        if (image.endsWith(QLatin1String("twice")))
            body += "<image x=\"0\" y=\"0\" width=\"40\" height=\"40\" xlink:href=\"" + href + "\"/>";
        bytes = Pictures::svg(body);
    } else if (content.startsWith(QLatin1String("bytes "))) {
        // A valid drawing, padded out with a comment to the size asked for.
        const QByteArray head = Pictures::svg(Pictures::overlayBody) + "<!--";
        const QByteArray tail = "-->\n";
        const int size = content.mid(6).toInt();
        bytes = head + QByteArray(size - head.size() - tail.size(), 'c') + tail;
        QCOMPARE(bytes.size(), size);
    } else {
        QCOMPARE(content, QStringLiteral("empty"));
    }
    {
        QFile file(dirPath(hostileName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }

    auto *light = own(new ProbeLight(59));
    light->setProperty("shema", dirPath(QStringLiteral("plan.wmf")));
    const QString stageSchema = dirPath(where == Where::Picture ? hostileName : QStringLiteral("s.wmf"));
    light->stages.append(new Helvor::Stage(1, QStringLiteral("Main"), stageSchema, light));

    const PeakMemory memory;
    QElapsedTimer timer;
    timer.start();
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QListWidget *list = stageList(panel);
    QCOMPARE(list->count(), 1);
    // Drawn as the list would draw it: a lazy icon reads its file only now.
    const QIcon stageIcon = list->item(0)->icon();
    const QString shown = Pictures::letters(stageIcon);
    const qint64 milliseconds = timer.elapsed();
    const qint64 growth = memory.growthKibibytes();
    measured(QStringLiteral("%1: %2 ms, peak memory +%3 KiB%4")
                 .arg(QLatin1String(QTest::currentDataTag()))
                 .arg(milliseconds)
                 .arg(growth)
                 .arg(memory.exact() ? QString() : QStringLiteral(" (whole-run peak)")));

    if (icon != QLatin1String("*"))
        QCOMPARE(shown, icon);
    QCOMPARE(Pictures::containsGreen(stageIcon), green);
    QCOMPARE(fifoReleases(), 0);
    QVERIFY2(milliseconds <= pictureMillisecondsBound, qPrintable(QStringLiteral("%1 ms").arg(milliseconds)));
    QVERIFY2(growth <= pictureKibibytesBound, qPrintable(QStringLiteral("%1 KiB").arg(growth)));
    QCOMPARE(whyPanelFails(panel, light), QString());
}

void tst_BadInput::checkSettingsTaken(const QString &key, const QVariant &expected)
{
    renewPlugin();
    QCOMPARE(moduleValue(key.toLatin1().constData()), expected);

    // A panel opened now starts with the period, kept within its spin box.
    auto *light = own(new ProbeLight(60));
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    const int period = key == QLatin1String("defaultInactivityPeriod") ? qBound(0, expected.toInt(), 65535) : 180;
    QCOMPARE(panel->property("inactivityPeriod"), QVariant(period));
    QCOMPARE(whyPanelFails(panel, light), QString());
    // The watchdog works with whatever lead it got.
    action(panel, "actionYF")->trigger();
    light->lastResponse->finish(4608);
    Host::advanceClock(70000);
    QVERIFY(statusAfterTick(panel).startsWith(QLatin1String("YF: 70015 DC: 70000")));
}

void tst_BadInput::settingsFileText_data()
{
    // text: the value as written in the file after "key=".
    addColumns<QString, QByteArray, QVariant>({"key", "text", "expected"});

    for (const QString &key : {QStringLiteral("alarmBefore"), QStringLiteral("defaultInactivityPeriod")}) {
        const auto row = [&key](const char *text, const QVariant &expected) {
            QTest::addRow("%s=%s", qPrintable(key), text) << key << QByteArray(text) << expected;
        };
        row("30, 40", 0);
        row("\"30\"", 30);
        row(" 42 ", 42);
        row("+42", 42);
        row("042", 42);
        row("4.2e1", 0);
        row("1e9", 0);
        row("true", 0);
        row("@Invalid()", 0);
        row("@ByteArray(7)", 7);
        row("@ByteArray(\\0\\x1\\xff)", 0);
        row("@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)", 0);
        row("@Size(1 2)", 0);
        row("\" 2147483647\"", intMax);
        row("99999999999999999999999", 0);
        row("-9223372036854775808", 0);
        row(",", 0);
    }
    const QString sound = QStringLiteral("alarmSound");
    QTest::newRow("alarmSound=/srv/a, b.wav: a list, no text")
        << sound << QByteArray("/srv/a, b.wav") << QVariant(QString());
    QTest::newRow("alarmSound=\"/srv/a, b.wav\"")
        << sound << QByteArray("\"/srv/a, b.wav\"") << QVariant(QStringLiteral("/srv/a, b.wav"));
    QTest::newRow("alarmSound=@ByteArray(/srv/x.wav)")
        << sound << QByteArray("@ByteArray(/srv/x.wav)") << QVariant(QStringLiteral("/srv/x.wav"));
    QTest::newRow("alarmSound=@Invalid()") << sound << QByteArray("@Invalid()") << QVariant(QString());
    QTest::newRow("alarmSound=@Size(1 2)") << sound << QByteArray("@Size(1 2)") << QVariant(QString());
    QTest::newRow("alarmSound with escapes")
        << sound << QByteArray("/srv/\\x442\\t\\n.wav") << QVariant(QString::fromUtf8("/srv/\xd1\x82\t\n.wav"));
    QTest::newRow("alarmSound=42") << sound << QByteArray("42") << QVariant(QStringLiteral("42"));
}

void tst_BadInput::settingsFileText()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, text);
    QFETCH(QVariant, expected);

    // A file of its own for each row: within a process QSettings keeps
    // what it read of a file, and the module must read this one afresh.
    const QString name = QStringLiteral("%1_%2").arg(application).arg(++m_settingsFiles);
    const QString folder = m_scratch + QStringLiteral("/user/") + organization;
    QVERIFY(QDir().mkpath(folder));
    QFile file(folder + QLatin1Char('/') + name + QStringLiteral(".conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("[Vorlan]\n" + key.toLatin1() + '=' + text + '\n') > 0);
    file.close();
    QCoreApplication::setApplicationName(name);
    checkSettingsTaken(key, expected);
}

void tst_BadInput::settingsTypedValues_data()
{
    // stored: through QSettings as a value of this type; within the process
    // it reads back as the same type.
    addColumns<QString, QVariant, QVariant>({"key", "stored", "expected"});

    for (const QString &key : {QStringLiteral("alarmBefore"), QStringLiteral("defaultInactivityPeriod")}) {
        const auto row = [&key](const char *what, const QVariant &stored, const QVariant &expected) {
            QTest::addRow("%s: %s", qPrintable(key), what) << key << stored << expected;
        };
        row("string list {30}", QStringList{QStringLiteral("30")}, 0);
        row("variant list {30, 40}", QVariantList{30, 40}, 0);
        row("map", QVariantMap{{QStringLiteral("seconds"), 30}}, 0);
        row("bytes \"30\"", QByteArray("30"), 30);
        row("bytes \\0\\x1\\xff", QByteArray("\0\x01\xff", 3), 0);
        row("true", true, 1);
        row("false", false, 0);
        row("30.0", 30.0, 30);
        row("1.5 rounds", 1.5, 2);
        row("1e9 as double", 1e9, 1000000000);
        row("1e300", 1e300, 0);
        row("NaN", notANumber, 0);
        row("2^40", qlonglong(1) << 40, 0);
        row("INT_MIN", intMin, intMin);
        row("INT_MAX", intMax, intMax);
        row("unsigned 2^32 - 1", quint32(0xffffffffu), 0);
        row("QDateTime", start, 0);
        row("QSize", QSize(3, 4), 0);
    }
    const QString sound = QStringLiteral("alarmSound");
    QTest::newRow("alarmSound: string list of one")
        << sound << QVariant(QStringList{QStringLiteral("/srv/a.wav")}) << QVariant(QStringLiteral("/srv/a.wav"));
    QTest::newRow("alarmSound: string list of two")
        << sound << QVariant(QStringList{QStringLiteral("/srv/a.wav"), QStringLiteral("b")}) << QVariant(QString());
    QTest::newRow("alarmSound: map") << sound << QVariant(QVariantMap{{QStringLiteral("file"), 1}})
                                     << QVariant(QString());
    QTest::newRow("alarmSound: bytes") << sound << QVariant(QByteArray("/srv/x.wav"))
                                       << QVariant(QStringLiteral("/srv/x.wav"));
    QTest::newRow("alarmSound: bool") << sound << QVariant(true) << QVariant(QStringLiteral("true"));
    QTest::newRow("alarmSound: INT_MIN") << sound << QVariant(intMin) << QVariant(QStringLiteral("-2147483648"));
    QTest::newRow("alarmSound: 100,000 characters")
        << sound << QVariant(QString(100000, QLatin1Char('s'))) << QVariant(QString(100000, QLatin1Char('s')));
}

void tst_BadInput::settingsTypedValues()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, expected);

    const QString name = QStringLiteral("%1_%2").arg(application).arg(++m_settingsFiles);
    QCoreApplication::setApplicationName(name);
    {
        QSettings settings;
        settings.beginGroup(QStringLiteral("Vorlan"));
        settings.setValue(key, stored);
        settings.endGroup();
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
    }
    checkSettingsTaken(key, expected);
}

int main(int argc, char *argv[])
{
    QTEST_SET_MAIN_SOURCE_PATH
    return PanelTest::execWithScratchSettings<tst_BadInput>(argc, argv, organization, application);
}

#include "tst_badinput.moc"
