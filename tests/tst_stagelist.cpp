// SPDX-License-Identifier: MIT
#include "paneltest.h"
#include "pictures.h"

#include <helvor/light.h>
#include <helvor/simulatedlight.h>
#include <helvor/stage.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QListWidgetItem>
#include <QPixmap>
#include <QTemporaryDir>
#include <QVariantList>
#include <QtTest>

#include <limits>
#include <memory>
#include <typeinfo>

// A controller with only what the state display needs, so that each
// subclass below differs from a working one in its stage list alone.
class BareLight : public Helvor::Light
{
    Q_OBJECT
    Q_PROPERTY(bool isConnected READ isConnected CONSTANT)

public:
    explicit BareLight(int number)
        : Helvor::Light(number, QStringLiteral("Bare"))
    {
        setCurrentStage(2);
    }

    bool isConnected() const
    {
        return true;
    }

    // Out of dispatch control the panel hands the controller back at once;
    // without this the run would log a missing method.
    Q_INVOKABLE void setLocal()
    {
    }

    Helvor::Stage *addStage(int id, const QString &description)
    {
        auto *stage = new Helvor::Stage(id, description, QString(), this);
        entries.append(stage);
        return stage;
    }

    QList<QObject *> entries;
    int phasesCalls = 0;
};

class ListLight : public BareLight
{
    Q_OBJECT

public:
    using BareLight::BareLight;

    Q_INVOKABLE QList<QObject *> phases()
    {
        ++phasesCalls;
        return entries;
    }
};

class NoPhasesLight : public BareLight
{
    Q_OBJECT

public:
    using BareLight::BareLight;
};

class VariantListLight : public BareLight
{
    Q_OBJECT

public:
    using BareLight::BareLight;

    Q_INVOKABLE QVariantList phases()
    {
        ++phasesCalls;
        QVariantList result;
        for (QObject *entry : qAsConst(entries))
            result.append(QVariant::fromValue(entry));
        return result;
    }
};

class StageListLight : public BareLight
{
    Q_OBJECT

public:
    using BareLight::BareLight;

    Q_INVOKABLE QList<Helvor::Stage *> phases()
    {
        ++phasesCalls;
        QList<Helvor::Stage *> result;
        for (QObject *entry : qAsConst(entries))
            result.append(static_cast<Helvor::Stage *>(entry));
        return result;
    }
};

class ObjectListTypedefLight : public BareLight
{
    Q_OBJECT

public:
    using BareLight::BareLight;

    Q_INVOKABLE QObjectList phases()
    {
        ++phasesCalls;
        return entries;
    }
};

class SingleObjectLight : public BareLight
{
    Q_OBJECT

public:
    using BareLight::BareLight;

    Q_INVOKABLE QObject *phases()
    {
        ++phasesCalls;
        return entries.value(0);
    }
};

class ArgumentPhasesLight : public BareLight
{
    Q_OBJECT

public:
    using BareLight::BareLight;

    Q_INVOKABLE QList<QObject *> phases(int group)
    {
        Q_UNUSED(group)
        ++phasesCalls;
        return entries;
    }
};

class EmptyPhasesLight : public BareLight
{
    Q_OBJECT

public:
    using BareLight::BareLight;

    Q_INVOKABLE QList<QObject *> phases()
    {
        ++phasesCalls;
        return {};
    }
};

namespace {

const QSize listIconSize = Pictures::listIconSize;
const QSize pictureSize(64, 40);

// Where the test drawings can be told apart.
const QPoint planOnly(20, 20);
const QPoint planAndOverlay(90, 60);
const QPoint overlayOnly(110, 60);
const QPoint neither(180, 100);

QStringList split(const char *joined)
{
    return QString::fromUtf8(joined).split(QLatin1Char('|'));
}

// Restores the working directory even when a check fails half-way.
class WorkingDirectory
{
public:
    explicit WorkingDirectory(const QString &path)
        : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(path);
    }

    ~WorkingDirectory()
    {
        QDir::setCurrent(m_previous);
    }

private:
    QString m_previous;
};

} // namespace

class tst_StageList : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void itemsFromStages_data();
    void itemsFromStages();
    void nullEntriesSkipped_data();
    void nullEntriesSkipped();
    void unusablePhases_data();
    void unusablePhases();
    void placeholderIcon_data();
    void placeholderIcon();
    void unreadableSchemaFile_data();
    void unreadableSchemaFile();
    void stagePropertiesMissing_data();
    void stagePropertiesMissing();
    void iconFromFile_data();
    void iconFromFile();
    void compositeIcon_data();
    void compositeIcon();
    void iconsPerStage_data();
    void iconsPerStage();
    void noCommandWhileFilling_data();
    void noCommandWhileFilling();
    void listBuiltOnce();

private:
    Helvor::SimulatedLight *makeSimulated(int number)
    {
        return own(new Helvor::SimulatedLight(number, QStringLiteral("Crossing")));
    }
    QIcon onlyStageIcon(const QString &files, const QString &lightSchema, const QString &stageSchema);
};

// The icon of the only stage of a new panel, its pictures in the test's
// folder; null when the list is not as every row expects it.
QIcon tst_StageList::onlyStageIcon(const QString &files, const QString &lightSchema, const QString &stageSchema)
{
    if (!makeFiles(files))
        return {};
    Helvor::SimulatedLight *light = makeSimulated(14);
    light->setShema(inDir(lightSchema));
    light->addStage(1, QStringLiteral("Main road"), inDir(stageSchema));
    QListWidget *list = openList(light);
    if (!list || list->iconSize() != listIconSize || list->count() != 1)
        return {};
    return list->item(0)->icon();
}

void tst_StageList::itemsFromStages_data()
{
    addColumns<QList<int>, QStringList, QStringList, QStringList>({"ids", "descriptions", "texts", "tips"});

    QTest::newRow("id 3, Main road") << QList<int>{3} << split("Main road") << split("3:Main road")
                                     << split("Set stage number 3: Main road");
    QTest::newRow("empty description") << QList<int>{3} << split("") << split("3:") << split("Set stage number 3: ");
    QTest::newRow("negative id") << QList<int>{-2} << split("Side street") << split("-2:Side street")
                                 << split("Set stage number -2: Side street");
    QTest::newRow("id 0") << QList<int>{0} << split("All red") << split("0:All red")
                          << split("Set stage number 0: All red");
    QTest::newRow("int extremes") << QList<int>{std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}
                                  << split("Top|Bottom") << split("2147483647:Top|-2147483648:Bottom")
                                  << split("Set stage number 2147483647: Top|Set stage number -2147483648: Bottom");
    // Neither by number nor by text would this order survive sorting.
    QTest::newRow("order as returned") << QList<int>{5, 1, 3} << split("Alpha|Zulu|Mike")
                                       << split("5:Alpha|1:Zulu|3:Mike")
                                       << split("Set stage number 5: Alpha|Set stage number 1: Zulu|"
                                                "Set stage number 3: Mike");
    QTest::newRow("duplicate ids") << QList<int>{4, 4} << split("North|South") << split("4:North|4:South")
                                   << split("Set stage number 4: North|Set stage number 4: South");
    // The number goes in first, so markers in the description stay as they are.
    QTest::newRow("description with markers")
        << QList<int>{6} << split("%1 and %2") << split("6:%1 and %2") << split("Set stage number 6: %1 and %2");
    QTest::newRow("description with colon and blanks")
        << QList<int>{8} << split(" Left: turn ") << split("8: Left: turn ")
        << split("Set stage number 8:  Left: turn ");
    QTest::newRow("non-Latin description") << QList<int>{7} << split("Пешеходная фаза") << split("7:Пешеходная фаза")
                                           << split("Set stage number 7: Пешеходная фаза");
}

void tst_StageList::itemsFromStages()
{
    QFETCH(QList<int>, ids);
    QFETCH(QStringList, descriptions);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, tips);

    Helvor::SimulatedLight *light = makeSimulated(11);
    for (int i = 0; i < ids.size(); ++i)
        light->addStage(ids.at(i), descriptions.at(i));
    QListWidget *list = openList(light);
    QVERIFY(list);

    QCOMPARE(list->count(), ids.size());
    for (int row = 0; row < list->count(); ++row) {
        const QListWidgetItem *item = list->item(row);
        QCOMPARE(item->text(), texts.at(row));
        QCOMPARE(item->statusTip(), tips.at(row));
        QCOMPARE(item->toolTip(), tips.at(row));
        const QVariant data = item->data(Qt::UserRole);
        QCOMPARE(data.userType(), int(QMetaType::Int));
        QCOMPARE(data.toInt(), ids.at(row));
        QCOMPARE(item->type(), int(QListWidgetItem::Type));
        QCOMPARE(typeid(*item).name(), typeid(QListWidgetItem).name());
        QVERIFY(!item->icon().isNull());
    }
}

void tst_StageList::nullEntriesSkipped_data()
{
    addColumns<QString, QList<int>>({"entries", "ids"});

    // Entries: a stage number, or "-" for a null object.
    QTest::newRow("null between two stages") << QStringLiteral("1 - 2") << QList<int>{1, 2};
    QTest::newRow("null first") << QStringLiteral("- 4") << QList<int>{4};
    QTest::newRow("null last") << QStringLiteral("5 -") << QList<int>{5};
    QTest::newRow("nulls only") << QStringLiteral("- -") << QList<int>{};
    QTest::newRow("runs of nulls") << QStringLiteral("- 7 - - 8 -") << QList<int>{7, 8};
}

void tst_StageList::nullEntriesSkipped()
{
    QFETCH(QString, entries);
    QFETCH(QList<int>, ids);

    auto *light = own(new ListLight(12));
    const QStringList tokens = entries.split(QLatin1Char(' '));
    for (const QString &token : tokens) {
        if (token == QLatin1String("-"))
            light->entries.append(nullptr);
        else
            light->addStage(token.toInt(), QStringLiteral("Stage %1").arg(token));
    }
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QListWidget *list = stageList(panel);

    QCOMPARE(list->count(), ids.size());
    for (int row = 0; row < ids.size(); ++row) {
        QCOMPARE(list->item(row)->data(Qt::UserRole), QVariant(ids.at(row)));
        QCOMPARE(list->item(row)->text(), QStringLiteral("%1:Stage %1").arg(ids.at(row)));
    }
    const QString status = statusAfterTick(panel);
    QVERIFY2(status.startsWith(QLatin1String("Stage 2: ")), qPrintable(status));
}

using MakeLight = BareLight *(*)();
Q_DECLARE_METATYPE(MakeLight)

template<typename T> BareLight *makeLight()
{
    return new T(13);
}

void tst_StageList::unusablePhases_data()
{
    addColumns<MakeLight, int, int>({"make", "items", "phasesCalls"});

    // The first row is the control: the same controller with a usable "phases".
    QTest::newRow("phases returning QList<QObject*> lists its stages") << &makeLight<ListLight> << 2 << 1;
    QTest::newRow("no phases invokable") << &makeLight<NoPhasesLight> << 0 << 0;
    QTest::newRow("phases returning QVariantList") << &makeLight<VariantListLight> << 0 << 0;
    QTest::newRow("phases returning QList<Helvor::Stage*>") << &makeLight<StageListLight> << 0 << 0;
    // moc keeps the typedef's name, and nothing registers it as an alias of
    // QList<QObject*>: to the meta-object system it is another type.
    QTest::newRow("phases returning QObjectList") << &makeLight<ObjectListTypedefLight> << 0 << 0;
    QTest::newRow("phases returning one QObject*") << &makeLight<SingleObjectLight> << 0 << 0;
    QTest::newRow("phases taking an argument") << &makeLight<ArgumentPhasesLight> << 0 << 0;
    QTest::newRow("phases returning an empty list") << &makeLight<EmptyPhasesLight> << 0 << 1;
}

void tst_StageList::unusablePhases()
{
    QFETCH(MakeLight, make);
    QFETCH(int, items);
    QFETCH(int, phasesCalls);

    BareLight *light = own(make());
    QVERIFY(light);
    light->addStage(1, QStringLiteral("Main road"));
    light->addStage(2, QStringLiteral("Side road"));

    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QVERIFY(host.panels().contains(panel));
    QListWidget *list = stageList(panel);
    QVERIFY(list);
    QCOMPARE(list->count(), items);
    QCOMPARE(light->phasesCalls, phasesCalls);

    const QString status = statusAfterTick(panel);
    QVERIFY2(status.startsWith(QLatin1String("Stage 2: ")), qPrintable(status));
}

void tst_StageList::placeholderIcon_data()
{
    addColumns<QString, QString>({"files", "lightSchema"});

    QTest::newRow("empty schema") << QString() << QString();
    // An empty stage schema has no suffix: the drawings must not tempt it into composing.
    QTest::newRow("empty schema, controller drawings at hand")
        << QStringLiteral("plan.svg=plan|.svg=overlay") << QStringLiteral("{dir}/plan.wmf");
}

void tst_StageList::placeholderIcon()
{
    QFETCH(QString, files);
    QFETCH(QString, lightSchema);

    // The placeholder's pixels are left undefined; only its size is settled.
    const QIcon icon = onlyStageIcon(files, lightSchema, QString());
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>{listIconSize});
    QCOMPARE(icon.pixmap(listIconSize).size(), listIconSize);
}

void tst_StageList::unreadableSchemaFile_data()
{
    addColumns<QString, QString>({"files", "stageSchema"});

    QTest::newRow("missing picture") << QString() << QStringLiteral("{dir}/missing.png");
    QTest::newRow("file that is no picture") << QStringLiteral("junk.png=garbage") << QStringLiteral("{dir}/junk.png");
    QTest::newRow("folder") << QString() << QStringLiteral("{dir}");
    // Composing would have drawn these into a 200 x 125 picture.
    QTest::newRow("missing file with suffix WMF")
        << QStringLiteral("plan.svg=plan|missing.svg=overlay") << QStringLiteral("{dir}/missing.WMF");
    QTest::newRow("missing file with suffix Emf")
        << QStringLiteral("plan.svg=plan|missing.svg=overlay") << QStringLiteral("{dir}/missing.Emf");
}

void tst_StageList::unreadableSchemaFile()
{
    QFETCH(QString, files);
    QFETCH(QString, stageSchema);

    // The picture is read when the list is filled: nothing to read, no
    // picture, and the blank placeholder stands in, where a composed
    // picture would be opaque.
    const QIcon icon = onlyStageIcon(files, QStringLiteral("{dir}/plan.wmf"), stageSchema);
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>{listIconSize});
    const QImage image = icon.pixmap(listIconSize).toImage();
    QCOMPARE(image.size(), listIconSize);
    for (const QPoint &point : {planOnly, planAndOverlay, overlayOnly, neither})
        QCOMPARE(qAlpha(image.pixel(point)), 0);
}

void tst_StageList::stagePropertiesMissing_data()
{
    // id, description: an invalid QVariant where the stage object does not have the property.
    addColumns<QVariant, QVariant, int, QString>({"id", "description", "number", "shown"});

    QTest::newRow("no id") << QVariant() << QVariant(QStringLiteral("Main road")) << 0 << QStringLiteral("Main road");
    QTest::newRow("no description") << QVariant(5) << QVariant() << 5 << QString();
    QTest::newRow("no properties") << QVariant() << QVariant() << 0 << QString();
    QTest::newRow("id as digits") << QVariant(QStringLiteral("12")) << QVariant(QStringLiteral("Tram")) << 12
                                  << QStringLiteral("Tram");
    QTest::newRow("id not a number") << QVariant(QStringLiteral("north")) << QVariant(QStringLiteral("Tram")) << 0
                                     << QStringLiteral("Tram");
    QTest::newRow("description as number") << QVariant(9) << QVariant(42) << 9 << QStringLiteral("42");
}

void tst_StageList::stagePropertiesMissing()
{
    QFETCH(QVariant, id);
    QFETCH(QVariant, description);
    QFETCH(int, number);
    QFETCH(QString, shown);

    auto *light = own(new ListLight(21));
    // A stage of no particular class, without "shema": only what is set here.
    auto *stage = new QObject(light);
    if (id.isValid())
        stage->setProperty("id", id);
    if (description.isValid())
        stage->setProperty("description", description);
    light->entries.append(stage);
    QListWidget *list = openList(light);
    QVERIFY(list);
    QCOMPARE(list->count(), 1);

    const QListWidgetItem *item = list->item(0);
    QCOMPARE(item->text(), QStringLiteral("%1:").arg(number) + shown);
    QCOMPARE(item->toolTip(), QStringLiteral("Set stage number %1: ").arg(number) + shown);
    QCOMPARE(item->data(Qt::UserRole).userType(), int(QMetaType::Int));
    QCOMPARE(item->data(Qt::UserRole).toInt(), number);
    QCOMPARE(item->icon().availableSizes(), QList<QSize>{listIconSize});
}

void tst_StageList::iconFromFile_data()
{
    addColumns<QString, QString>({"files", "stageSchema"});

    // Every row also provides the SVG drawings a composite would show, so
    // a wrongly composed icon comes out 200 x 125 and red, blue or white.
    const QString drawings = QStringLiteral("|plan.svg=plan|s.svg=overlay");
    QTest::newRow("png schema") << QStringLiteral("s.png=green") + drawings << QStringLiteral("{dir}/s.png");
    QTest::newRow("suffix WMF in capitals is not composed")
        << QStringLiteral("s.WMF=green") + drawings << QStringLiteral("{dir}/s.WMF");
    QTest::newRow("suffix Emf in mixed case is not composed")
        << QStringLiteral("s.Emf=green") + drawings << QStringLiteral("{dir}/s.Emf");
    QTest::newRow("suffix wmF is not composed")
        << QStringLiteral("s.wmF=green") + drawings << QStringLiteral("{dir}/s.wmF");
    QTest::newRow("suffix wmf.png is a png")
        << QStringLiteral("s.wmf.png=green|s.wmf.svg=overlay|plan.svg=plan") << QStringLiteral("{dir}/s.wmf.png");
    QTest::newRow("schema without suffix") << QStringLiteral("s=green") + drawings << QStringLiteral("{dir}/s");
}

void tst_StageList::iconFromFile()
{
    QFETCH(QString, files);
    QFETCH(QString, stageSchema);

    const QIcon icon = onlyStageIcon(files, QStringLiteral("{dir}/plan.wmf"), stageSchema);
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>{pictureSize});
    const QImage image = icon.pixmap(pictureSize).toImage();
    QCOMPARE(image.size(), pictureSize);
    QCOMPARE(Pictures::colourLetter(image.pixel(pictureSize.width() / 2, pictureSize.height() / 2)), QLatin1Char('G'));
}

void tst_StageList::compositeIcon_data()
{
    // colours: at planOnly, planAndOverlay, overlayOnly, neither.
    addColumns<QString, QString, QString, bool, QString>(
        {"files", "lightSchema", "stageSchema", "inWorkingDirectory", "colours"});

    const QString plan = QStringLiteral("{dir}/plan.wmf");
    const QString wmf = QStringLiteral("{dir}/s.wmf");
    const QString emf = QStringLiteral("{dir}/s.emf");

    QTest::newRow("wmf, neither drawing: white") << QString() << plan << wmf << false << QStringLiteral("WWWW");
    QTest::newRow("wmf, controller drawing only")
        << QStringLiteral("plan.svg=plan") << plan << wmf << false << QStringLiteral("RRWW");
    QTest::newRow("wmf, stage drawing only")
        << QStringLiteral("s.svg=overlay") << plan << wmf << false << QStringLiteral("WBBW");
    QTest::newRow("wmf, stage drawn over controller")
        << QStringLiteral("plan.svg=plan|s.svg=overlay") << plan << wmf << false << QStringLiteral("RBBW");
    QTest::newRow("emf, neither drawing: white") << QString() << plan << emf << false << QStringLiteral("WWWW");
    QTest::newRow("emf, stage drawn over controller")
        << QStringLiteral("plan.svg=plan|s.svg=overlay") << plan << emf << false << QStringLiteral("RBBW");
    // The controller's picture is never used as it is, whatever its suffix.
    QTest::newRow("controller png drawn from its svg")
        << QStringLiteral("plan.png=green|plan.svg=plan") << QStringLiteral("{dir}/plan.png") << wmf << false
        << QStringLiteral("RRWW");
    QTest::newRow("controller schema without suffix")
        << QStringLiteral("plan.svg=plan") << QStringLiteral("{dir}/plan") << wmf << false << QStringLiteral("RRWW");
    QTest::newRow("controller schema naming the svg")
        << QStringLiteral("plan.svg=plan") << QStringLiteral("{dir}/plan.svg") << wmf << false
        << QStringLiteral("RRWW");
    // Green drawings sit where a sibling cut at the first dot would be looked for.
    QTest::newRow("only the last suffix is replaced")
        << QStringLiteral("plan.v2.svg=plan|plan.svg=greensvg|s.night.svg=overlay|s.svg=greensvg")
        << QStringLiteral("{dir}/plan.v2.wmf") << QStringLiteral("{dir}/s.night.wmf") << false
        << QStringLiteral("RBBW");
    QTest::newRow("drawings beside schemas in other folders")
        << QStringLiteral("plans/plan.svg=plan|stages/s.svg=overlay|plan.svg=greensvg|s.svg=greensvg")
        << QStringLiteral("{dir}/plans/plan.emf") << QStringLiteral("{dir}/stages/s.wmf") << false
        << QStringLiteral("RBBW");
    QTest::newRow("invalid stage drawing not drawn")
        << QStringLiteral("plan.svg=plan|s.svg=garbage") << plan << wmf << false << QStringLiteral("RRWW");
    QTest::newRow("invalid controller drawing not drawn")
        << QStringLiteral("plan.svg=garbage|s.svg=overlay") << plan << wmf << false << QStringLiteral("WBBW");
    QTest::newRow("both drawings invalid: white")
        << QStringLiteral("plan.svg=garbage|s.svg=garbage") << plan << wmf << false << QStringLiteral("WWWW");
    // An empty path names no file, so it has no drawing either: joining its
    // empty parts the way a directory would must not reach ./.svg.
    QTest::newRow("empty controller schema ignores ./.svg")
        << QStringLiteral(".svg=red") << QString() << wmf << true << QStringLiteral("WWWW");
    QTest::newRow("empty controller schema, stage still drawn")
        << QStringLiteral(".svg=red|s.svg=overlay") << QString() << wmf << true << QStringLiteral("WBBW");
    QTest::newRow("relative schemas found in the working directory")
        << QStringLiteral("plan.svg=plan|s.svg=overlay") << QStringLiteral("plan.wmf") << QStringLiteral("s.wmf")
        << true << QStringLiteral("RBBW");
}

void tst_StageList::compositeIcon()
{
    QFETCH(QString, files);
    QFETCH(QString, lightSchema);
    QFETCH(QString, stageSchema);
    QFETCH(bool, inWorkingDirectory);
    QFETCH(QString, colours);

    std::unique_ptr<WorkingDirectory> workingDirectory;
    if (inWorkingDirectory)
        workingDirectory = std::make_unique<WorkingDirectory>(dirPath());
    const QIcon icon = onlyStageIcon(files, lightSchema, stageSchema);
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>{listIconSize});
    QCOMPARE(Pictures::letters(icon), colours);
}

void tst_StageList::iconsPerStage_data()
{
    // Stage kinds, in list order: "wmf" has its overlay, "emf" none, "png"
    // is a picture of its own, "none" has no schema.
    QTest::addColumn<QStringList>("kinds");

    QTest::newRow("composites around a picture")
        << QStringList{QStringLiteral("wmf"), QStringLiteral("png"), QStringLiteral("emf")};
    QTest::newRow("placeholder and picture before composites")
        << QStringList{QStringLiteral("none"), QStringLiteral("png"), QStringLiteral("wmf"), QStringLiteral("emf")};
    QTest::newRow("composite with overlay after one without")
        << QStringList{QStringLiteral("emf"), QStringLiteral("wmf"), QStringLiteral("none"), QStringLiteral("emf")};
}

void tst_StageList::iconsPerStage()
{
    QFETCH(QStringList, kinds);

    QVERIFY(makeFiles(QStringLiteral("plan.svg=plan|s.svg=overlay|p.png=green")));
    Helvor::SimulatedLight *light = makeSimulated(17);
    light->setShema(dirPath(QStringLiteral("plan.emf")));
    for (int i = 0; i < kinds.size(); ++i) {
        const QString &kind = kinds.at(i);
        QString schema;
        if (kind == QLatin1String("wmf"))
            schema = dirPath(QStringLiteral("s.wmf"));
        else if (kind == QLatin1String("emf"))
            schema = dirPath(QStringLiteral("t.emf"));
        else if (kind == QLatin1String("png"))
            schema = dirPath(QStringLiteral("p.png"));
        light->addStage(i + 1, kind, schema);
    }
    QListWidget *list = openList(light);
    QVERIFY(list);
    QCOMPARE(list->count(), kinds.size());

    for (int row = 0; row < kinds.size(); ++row) {
        const QString &kind = kinds.at(row);
        const QIcon icon = list->item(row)->icon();
        QVERIFY2(!icon.isNull(), qPrintable(kind));
        if (kind == QLatin1String("png")) {
            QCOMPARE(icon.availableSizes(), QList<QSize>{pictureSize});
            QCOMPARE(Pictures::colourLetter(icon.pixmap(pictureSize).toImage().pixel(10, 10)), QLatin1Char('G'));
            continue;
        }
        QCOMPARE(icon.availableSizes(), QList<QSize>{listIconSize});
        if (kind == QLatin1String("wmf"))
            QCOMPARE(Pictures::letters(icon), QStringLiteral("RBBW"));
        else if (kind == QLatin1String("emf"))
            QCOMPARE(Pictures::letters(icon), QStringLiteral("RRWW"));
    }
}

void tst_StageList::noCommandWhileFilling_data()
{
    addColumns<bool, int, QList<int>>({"dispatch", "running", "ids"});

    QTest::newRow("local, no stage running") << false << -1 << QList<int>{1, 2, 3};
    QTest::newRow("local, listed stage running") << false << 2 << QList<int>{1, 2, 3};
    QTest::newRow("dispatch, no stage running") << true << -1 << QList<int>{1, 2, 3};
    QTest::newRow("dispatch, listed stage running") << true << 2 << QList<int>{1, 2, 3};
    QTest::newRow("dispatch, running stage listed twice") << true << 2 << QList<int>{2, 1, 2};
}

void tst_StageList::noCommandWhileFilling()
{
    QFETCH(bool, dispatch);
    QFETCH(int, running);
    QFETCH(QList<int>, ids);

    Helvor::SimulatedLight *light = makeSimulated(18);
    light->setDispatchControl(dispatch);
    light->setCurrentStage(running);
    for (int id : qAsConst(ids))
        light->addStage(id, QStringLiteral("Stage %1").arg(id));
    QListWidget *list = openList(light);
    QVERIFY(list);
    QCOMPARE(list->count(), ids.size());

    QVERIFY(light->calls("sendCommand").isEmpty());
    QCOMPARE(light->calls("phases").size(), 1);
    QVERIFY(list->selectedItems().isEmpty());

    // The silence above means something only if the list is wired by now.
    list->item(0)->setSelected(true);
    const QList<Helvor::SimulatedLight::Call> sent = light->calls("sendCommand");
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().arguments, (QVariantList{QStringLiteral("set_phase"), ids.first()}));
}

void tst_StageList::listBuiltOnce()
{
    Helvor::SimulatedLight *light = makeSimulated(19);
    light->addStage(1, QStringLiteral("Main road"));
    light->addStage(2, QStringLiteral("Side road"));
    QWidget *panel = openPanel(light);
    QVERIFY(panel);
    QListWidget *list = stageList(panel);
    QVERIFY(list);
    QCOMPARE(list->count(), 2);

    light->addStage(3, QStringLiteral("Pedestrians"));
    light->setCurrentStage(3);
    Q_EMIT light->stateChanged();
    // The state display follows the controller; the list does not.
    const QString status = statusAfterTick(panel);
    QVERIFY2(status.startsWith(QLatin1String("Stage 3: ")), qPrintable(status));
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("1:Main road"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("2:Side road"));
    QCOMPARE(light->calls("phases").size(), 1);
}

QTEST_MAIN(tst_StageList)
#include "tst_stagelist.moc"
