// SPDX-License-Identifier: MIT
#include "helvor/simulatedlight.h"
#include "helvor/stage.h"
#include "messagecapture.h"
#include "paneltest.h"
#include "response.h"

#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonObject>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>
#include <QRegularExpression>
#include <QResource>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {

// Makes an object of a class a host has but a panel cannot serve.
using MakeObject = QObject *(*)();

// The project's version, as the build gives it to the module.
const QString expectedModuleVersion = QStringLiteral(VORLAN_MODULE_VERSION);

} // namespace

Q_DECLARE_METATYPE(MakeObject)

class tst_Plugin : public PanelTest
{
    Q_OBJECT

public:
    // The plug-in as it ships: this suite needs no hook into it.
    tst_Plugin()
        : PanelTest(QStringLiteral(VORLAN_SHIPPED_PLUGIN), Start::Unloaded)
    {
    }

private Q_SLOTS:
    // These run before anything asks for the plug-in object: the host reads
    // the icons and the sound as soon as it has loaded the library.
    void resourceStoredUncompressed_data();
    void resourceStoredUncompressed();
    void icon_data();
    void icon();
    void iconsDiffer();
    void alarmSound();

    void libraryFileName();
    void iid();
    void className();
    void debugFlag();
    void qtVersion();
    void noUserMetaData();

    void instanceIsShared();
    void deletedInstanceIsReplaced();
    void deletingInstanceKeepsPanels();

    void metaObjectClass();
    void ownMethods();
    void method_data();
    void method();
    void moduleVersionProperty();
    void moduleVersionOnEveryInstance();
    void moduleVersionReadOnly();

    void openController();
    void openWithoutReturnValue();
    void openNoController_data();
    void openNoController();
    void openNullIsSilent_data();
    void openNullIsSilent();

protected:
    void initSuite() override;

private:
    Helvor::SimulatedLight *newLight(int number);
};

void tst_Plugin::initSuite()
{
    // Proves below that the resources come from the library, not from this binary.
    QVERIFY(!QFile::exists(QStringLiteral(":/icons/button_sound_on.png")));

    // load(), not instance(): the resources must not wait for the plug-in object.
    QVERIFY2(host.loader().load(), qPrintable(host.loader().errorString()));
}

Helvor::SimulatedLight *tst_Plugin::newLight(int number)
{
    return own(new Helvor::SimulatedLight(number, QStringLiteral("Crossing %1").arg(number)));
}

void tst_Plugin::resourceStoredUncompressed_data()
{
    addRows<QString>("path",
                     {{"sound on icon", QStringLiteral(":/icons/button_sound_on.png")},
                      {"sound off icon", QStringLiteral(":/icons/button_sound_off.png")},
                      {"alarm sound", QStringLiteral(":/sounds/alarm.wav")}});
}

void tst_Plugin::resourceStoredUncompressed()
{
    QFETCH(QString, path);

    QVERIFY(QFile::exists(path));
    const QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    QVERIFY(resource.size() > 0);

    // Uncompressed, the mapped bytes are the file itself.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray mapped(reinterpret_cast<const char *>(resource.data()), int(resource.size()));
    QCOMPARE(mapped, file.readAll());
}

void tst_Plugin::icon_data()
{
    addRows<QString>("path",
                     {{"sound on", QStringLiteral(":/icons/button_sound_on.png")},
                      {"sound off", QStringLiteral(":/icons/button_sound_off.png")}});
}

void tst_Plugin::icon()
{
    QFETCH(QString, path);

    const QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(50, 50));
    QVERIFY(image.hasAlphaChannel());
}

void tst_Plugin::iconsDiffer()
{
    const QImage on = QImage(QStringLiteral(":/icons/button_sound_on.png")).convertToFormat(QImage::Format_ARGB32);
    const QImage off = QImage(QStringLiteral(":/icons/button_sound_off.png")).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!on.isNull());
    QVERIFY(!off.isNull());
    // The checked and unchecked sound button must be told apart by the operator.
    QVERIFY(on != off);
}

void tst_Plugin::alarmSound()
{
    QFile file(QStringLiteral(":/sounds/alarm.wav"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.size() >= 12);
    QCOMPARE(bytes.left(4), QByteArray("RIFF"));
    QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 4), quint32(bytes.size() - 8));
    QCOMPARE(bytes.mid(8, 4), QByteArray("WAVE"));

    QByteArray format;
    QByteArray samples;
    for (int at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        QVERIFY2(at + 8 + qint64(size) <= bytes.size(), id.constData());
        if (id == "fmt ")
            format = bytes.mid(at + 8, int(size));
        else if (id == "data")
            samples = bytes.mid(at + 8, int(size));
        // Chunks are padded to an even length.
        at += 8 + int(size) + int(size & 1);
    }

    QVERIFY(format.size() >= 16);
    const char *fmt = format.constData();
    QCOMPARE(qFromLittleEndian<quint16>(fmt), quint16(1)); // PCM
    QCOMPARE(qFromLittleEndian<quint16>(fmt + 2), quint16(2));
    QCOMPARE(qFromLittleEndian<quint32>(fmt + 4), quint32(22050));
    QCOMPARE(qFromLittleEndian<quint16>(fmt + 14), quint16(16));
    // Players locate samples with these two, not with the values above.
    QCOMPARE(qFromLittleEndian<quint32>(fmt + 8), quint32(22050 * 2 * 2));
    QCOMPARE(qFromLittleEndian<quint16>(fmt + 12), quint16(2 * 2));

    QVERIFY(!samples.isEmpty());
    QCOMPARE(samples.size() % 4, 0);
    const double seconds = samples.size() / double(22050 * 2 * 2);
    QVERIFY2(seconds >= 1.0 && seconds <= 1.2, qPrintable(QString::number(seconds)));

    int peak = 0;
    for (int i = 0; i + 1 < samples.size(); i += 2)
        peak = qMax(peak, qAbs(int(qFromLittleEndian<qint16>(samples.constData() + i))));
    QVERIFY2(peak > 1000, qPrintable(QString::number(peak)));
}

void tst_Plugin::libraryFileName()
{
    const QString shipped = host.loader().fileName();
    QCOMPARE(QFileInfo(shipped).fileName(), QStringLiteral("libVorlan2.so"));

    // A host names the plug-in by its base name and lets the loader add the rest.
    const QString dir = QFileInfo(shipped).absolutePath();
    QPluginLoader byBaseName(dir + QStringLiteral("/Vorlan2"));
    QCOMPARE(byBaseName.fileName(), QFileInfo(shipped).canonicalFilePath());
}

void tst_Plugin::iid()
{
    const QString iid = host.loader().metaData().value(QStringLiteral("IID")).toString();
    QVERIFY2(iid.endsWith(QStringLiteral(".road.VorlanPlugin")), qPrintable(iid));
    // A reverse domain: a top-level label, then at least one more, before ".road".
    const QRegularExpression reverseDomain(
        QStringLiteral("^[a-z]{2,}(\\.[a-z0-9]([a-z0-9-]*[a-z0-9])?)+\\.road\\.VorlanPlugin$"));
    QVERIFY2(reverseDomain.match(iid).hasMatch(), qPrintable(iid));
}

void tst_Plugin::className()
{
    QCOMPARE(host.loader().metaData().value(QStringLiteral("className")).toString(), QStringLiteral("Plugin"));
}

void tst_Plugin::debugFlag()
{
    const QJsonValue debug = host.loader().metaData().value(QStringLiteral("debug"));
    QVERIFY(debug.isBool());
    if (QByteArrayLiteral(VORLAN_BUILD_TYPE) == "Debug")
        QSKIP("A Debug build marks its plug-in as debug");
    // Qt refuses to mix debug and release plug-ins in some hosts.
    QCOMPARE(debug.toBool(), false);
}

void tst_Plugin::qtVersion()
{
    const QJsonValue value = host.loader().metaData().value(QStringLiteral("version"));
    QVERIFY(value.isDouble());
    const int version = value.toInt();
    QCOMPARE(version >> 16, 5);
    QCOMPARE((version >> 8) & 0xff, 15);
}

void tst_Plugin::noUserMetaData()
{
    const QJsonValue metaData = host.loader().metaData().value(QStringLiteral("MetaData"));
    QVERIFY(metaData.isUndefined() || (metaData.isObject() && metaData.toObject().isEmpty()));
}

void tst_Plugin::instanceIsShared()
{
    QObject *first = host.loader().instance();
    QVERIFY(first);
    QCOMPARE(host.loader().instance(), first);

    // A second loader of the same file, as another part of a host may hold.
    Host other(host.loader().fileName());
    QCOMPARE(other.plugin(), first);
}

void tst_Plugin::deletedInstanceIsReplaced()
{
    QPointer<QObject> old = host.plugin();
    QVERIFY(old);
    delete old.data();
    QVERIFY(old.isNull());

    const QPointer<QObject> renewed = host.plugin();
    QVERIFY(renewed);
    QCOMPARE(renewed->metaObject()->className(), "Vorlan::Plugin");
    QList<QWidget *> panels;
    QVERIFY(QMetaObject::invokeMethod(renewed, "panels", Q_RETURN_ARG(QList<QWidget *>, panels)));
    QCOMPARE(host.loader().instance(), renewed.data());
}

void tst_Plugin::deletingInstanceKeepsPanels()
{
    Helvor::SimulatedLight *light = newLight(7);
    const QPointer<QWidget> panel = host.open(light);
    QVERIFY(panel);
    panel->show();
    QVERIFY(panel->isVisible());
    const QList<QWidget *> before = host.panels();
    QVERIFY(before.contains(panel));

    delete host.plugin();
    // Panels close with WA_DeleteOnClose: a close would show up as a deletion here.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(panel);
    QVERIFY(panel->isVisible());
    QCOMPARE(host.panels(), before);
    QCOMPARE(host.open(light), panel.data());
}

void tst_Plugin::metaObjectClass()
{
    const QMetaObject *meta = host.plugin()->metaObject();
    QCOMPARE(meta->className(), "Vorlan::Plugin");
    QCOMPARE(meta->enumeratorCount() - meta->enumeratorOffset(), 0);
    QCOMPARE(meta->classInfoCount() - meta->classInfoOffset(), 0);
}

void tst_Plugin::ownMethods()
{
    const QMetaObject *meta = host.plugin()->metaObject();
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 2);
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        QVERIFY2(method.methodType() != QMetaMethod::Signal, method.methodSignature().constData());
        QVERIFY2(method.methodType() != QMetaMethod::Slot, method.methodSignature().constData());
    }
}

void tst_Plugin::method_data()
{
    addColumns<int, QByteArray, QByteArray, QList<QByteArray>, QList<QByteArray>>(
        {"index", "signature", "returnType", "parameterTypes", "parameterNames"});

    QTest::newRow("open(QObject *light) returns QWidget *")
        << 0 << QByteArray("open(QObject*)") << QByteArray("QWidget*") << QList<QByteArray>{"QObject*"}
        << QList<QByteArray>{"light"};
    QTest::newRow("panels() returns QList<QWidget *>")
        << 1 << QByteArray("panels()") << QByteArray("QList<QWidget*>") << QList<QByteArray>() << QList<QByteArray>();
}

void tst_Plugin::method()
{
    QFETCH(int, index);
    QFETCH(QByteArray, signature);
    QFETCH(QByteArray, returnType);
    QFETCH(QList<QByteArray>, parameterTypes);
    QFETCH(QList<QByteArray>, parameterNames);

    const QMetaObject *meta = host.plugin()->metaObject();
    QVERIFY(meta->methodOffset() + index < meta->methodCount());
    const QMetaMethod method = meta->method(meta->methodOffset() + index);
    QCOMPARE(method.methodSignature(), signature);
    QCOMPARE(QByteArray(method.typeName()), returnType);
    QCOMPARE(method.parameterCount(), parameterTypes.size());
    QCOMPARE(method.parameterTypes(), parameterTypes);
    QCOMPARE(method.parameterNames(), parameterNames);
    QCOMPARE(method.methodType(), QMetaMethod::Method);
    QCOMPARE(method.access(), QMetaMethod::Public);
}

void tst_Plugin::moduleVersionProperty()
{
    const QMetaObject *meta = host.plugin()->metaObject();
    QCOMPARE(meta->propertyCount() - meta->propertyOffset(), 1);
    const QMetaProperty property = meta->property(meta->propertyOffset());
    QCOMPARE(property.name(), "moduleVersion");
    QCOMPARE(property.userType(), int(QMetaType::QString));
    QVERIFY(property.isReadable());
    QVERIFY(!property.isWritable());
    QVERIFY(!property.isResettable());
    QVERIFY(!property.hasNotifySignal());
    QVERIFY(!property.isConstant());
    QVERIFY(property.isStored());
    QVERIFY(property.isDesignable());
    QVERIFY(property.isScriptable());
}

void tst_Plugin::moduleVersionOnEveryInstance()
{
    for (int round = 0; round < 3; ++round) {
        QObject *plugin = host.plugin();
        QVERIFY(plugin);
        const QVariant version = plugin->property("moduleVersion");
        QCOMPARE(version.userType(), int(QMetaType::QString));
        QCOMPARE(version.toString(), expectedModuleVersion);
        delete plugin;
    }
}

void tst_Plugin::moduleVersionReadOnly()
{
    QObject *plugin = host.plugin();
    QVERIFY(!plugin->setProperty("moduleVersion", QStringLiteral("9.9.9")));
    QCOMPARE(plugin->property("moduleVersion").toString(), expectedModuleVersion);
    QVERIFY(!plugin->dynamicPropertyNames().contains("moduleVersion"));
}

void tst_Plugin::openController()
{
    Helvor::SimulatedLight *light = newLight(12);
    const QList<QWidget *> before = host.panels();

    QWidget *panel = host.open(light);
    QVERIFY(panel);
    QVERIFY(qobject_cast<QDockWidget *>(panel));
    QCOMPARE(host.panels(), before + QList<QWidget *>{panel});

    // The host opens again whenever the operator asks: the panel is reused.
    QCOMPARE(host.open(light), panel);
    QCOMPARE(host.panels().size(), before.size() + 1);
}

void tst_Plugin::openWithoutReturnValue()
{
    Helvor::SimulatedLight *light = newLight(21);
    const QList<QWidget *> before = host.panels();

    QVERIFY(QMetaObject::invokeMethod(host.plugin(), "open", Q_ARG(QObject *, light)));

    const QList<QWidget *> after = host.panels();
    QCOMPARE(after.size(), before.size() + 1);
    QWidget *made = after.last();
    QVERIFY(!before.contains(made));
    QCOMPARE(host.open(light), made);
    QCOMPARE(host.panels(), after);
}

void tst_Plugin::openNoController_data()
{
    QTest::addColumn<MakeObject>("make");
    QTest::newRow("plain QObject") << MakeObject([]() -> QObject * { return new QObject; });
    QTest::newRow("QWidget") << MakeObject([]() -> QObject * { return new QWidget; });
    // What a panel is made of, yet no controller.
    QTest::newRow("QDockWidget") << MakeObject([]() -> QObject * { return new QDockWidget; });
    QTest::newRow("Response") << MakeObject([]() -> QObject * { return new Response(nullptr); });
    QTest::newRow("Helvor::Stage") << MakeObject(
        []() -> QObject * { return new Helvor::Stage(1, QStringLiteral("Main street"), QString()); });
}

void tst_Plugin::openNoController()
{
    QFETCH(MakeObject, make);

    const std::unique_ptr<QObject> object(make());
    QVERIFY(!object->inherits("Helvor::Light"));
    const QList<QWidget *> before = host.panels();

    QCOMPARE(host.open(object.get()), static_cast<QWidget *>(nullptr));
    QCOMPARE(host.panels(), before);
}

void tst_Plugin::openNullIsSilent_data()
{
    addColumns<bool, bool>({"panelOpen", "renewed"});

    QTest::newRow("no panel open") << false << false;
    QTest::newRow("a panel open") << true << false;
    QTest::newRow("a panel open, plug-in object made anew") << true << true;
}

void tst_Plugin::openNullIsSilent()
{
    QFETCH(bool, panelOpen);
    QFETCH(bool, renewed);

    if (panelOpen)
        QVERIFY(host.open(newLight(3)));
    if (renewed)
        delete host.plugin();
    const QList<QWidget *> before = host.panels();

    QWidget *panel = nullptr;
    {
        const MessageCapture messages;
        panel = host.open(nullptr);
        QCOMPARE(messages.messages(), QStringList());
    }
    QCOMPARE(panel, static_cast<QWidget *>(nullptr));
    QCOMPARE(host.panels(), before);
}

QTEST_MAIN(tst_Plugin)
#include "tst_plugin.moc"
