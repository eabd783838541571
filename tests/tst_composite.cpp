// SPDX-License-Identifier: MIT
// The stage pictures a panel composes: white, the controller's plan, the
// stage's movements on top. Each item's picture must be exactly the one
// that drawing them anew gives, whatever the panel shares between stages.
#include "paneltest.h"
#include "pictures.h"

#include <helvor/simulatedlight.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QListWidgetItem>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

// A controller that names another plan each time it is asked: the panel
// must take, for every composed stage, the plan it read for that stage.
class AlternatingPlanLight : public Helvor::SimulatedLight
{
    Q_OBJECT
    Q_PROPERTY(QString shema READ nextShema)

public:
    AlternatingPlanLight(int number, const QStringList &plans)
        : Helvor::SimulatedLight(number, QStringLiteral("Alternating"))
        , m_plans(plans)
    {
    }

    QString nextShema() const
    {
        return m_plans.at(m_reads++ % m_plans.size());
    }

    int reads() const
    {
        return m_reads;
    }

private:
    QStringList m_plans;
    mutable int m_reads = 0;
};

namespace {

const QSize listIconSize = Pictures::listIconSize;

QByteArray svg(const char *body)
{
    return Pictures::svg(body, {}, "width=\"400\" height=\"250\" viewBox=\"0 0 400 250\"");
}

// Drawings with what makes pixels differ when drawn differently: slanted
// and curved edges, blending, translucency, strokes over fills.
QByteArray content(const QString &name)
{
    if (name == QLatin1String("planA.svg")) {
        return svg("<rect width=\"400\" height=\"250\" fill=\"#a3cf7f\"/>"
                   "<path d=\"M0,89 L400,89 L400,161 L0,161 Z M164,0 L236,0 L236,250 L164,250 Z\" fill=\"#dedad1\"/>"
                   "<g fill=\"none\" stroke=\"#8a8f86\" stroke-width=\"0.7\">"
                   "<path d=\"M10,10 L150,80\"/><path d=\"M250,20 Q300,60 390,30\"/>"
                   "<path d=\"M30,200 A40 25 0 0 0 140,230\"/></g>"
                   "<circle cx=\"60\" cy=\"40\" r=\"17.3\" fill=\"#5c9a43\" fill-opacity=\"0.7\"/>"
                   "<polygon points=\"270,180 330,175 345,240 262,236\" fill=\"#8a8f86\" stroke=\"#6d7169\"/>");
    }
    if (name == QLatin1String("planB.svg")) {
        return svg("<rect width=\"400\" height=\"250\" fill=\"#f2efe6\"/>"
                   "<path d=\"M0,200 L400,40 L400,110 L0,250 Z\" fill=\"#c9c3b5\"/>"
                   "<ellipse cx=\"300\" cy=\"190\" rx=\"70\" ry=\"33\" fill=\"#3f7a2c\" fill-opacity=\"0.45\"/>"
                   "<path d=\"M20,20 C120,90 220,-40 380,60\" fill=\"none\" stroke=\"#222\" stroke-width=\"3.3\"/>");
    }
    if (name == QLatin1String("o1.svg")) {
        return svg("<path d=\"M182,15 L182,223\" fill=\"none\" stroke=\"#0a3314\" stroke-width=\"14\" "
                   "stroke-linecap=\"round\"/><path d=\"M182,15 L182,223\" fill=\"none\" stroke=\"#29d14a\" "
                   "stroke-width=\"9\" stroke-linecap=\"round\"/><polygon points=\"182,241 170,223 194,223\" "
                   "fill=\"#29d14a\"/>");
    }
    if (name == QLatin1String("o2.svg")) {
        return svg("<path d=\"M5,143 Q200,125 218,245\" fill=\"none\" stroke=\"#29d14a\" stroke-width=\"9\" "
                   "stroke-opacity=\"0.6\"/><polygon points=\"220,249 208,231 232,229\" fill=\"#0a3314\"/>");
    }
    if (name == QLatin1String("o3.svg")) {
        return svg("<g opacity=\"0.5\"><rect x=\"150\" y=\"60\" width=\"120\" height=\"130\" fill=\"#ff2020\" "
                   "transform=\"rotate(17 210 125)\"/></g><circle cx=\"210\" cy=\"125\" r=\"33.5\" fill=\"none\" "
                   "stroke=\"#0000ff\" stroke-width=\"2.2\"/>");
    }
    if (name == QLatin1String("o4.svg")) {
        return svg("<path d=\"M395,107 C300,100 250,40 218,5\" fill=\"none\" stroke=\"#29d14a\" stroke-width=\"9\" "
                   "stroke-linecap=\"round\" stroke-linejoin=\"round\"/><path d=\"M300,150 l30,30 l-60,0 z\" "
                   "fill=\"#ffcc00\" fill-opacity=\"0.8\"/>");
    }
    if (name == QLatin1String("pic.png"))
        return Pictures::png(QSize(64, 40), QColor(0, 0, 255));
    return {};
}

bool writeDrawings(const QDir &dir)
{
    for (const char *name : {"planA.svg", "planB.svg", "o1.svg", "o2.svg", "o3.svg", "o4.svg", "pic.png"}) {
        QFile file(dir.filePath(QLatin1String(name)));
        const QByteArray bytes = content(QLatin1String(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

bool composed(const QString &schema)
{
    const QString suffix = QFileInfo(schema).suffix();
    return suffix == QLatin1String("wmf") || suffix == QLatin1String("emf");
}

QString svgSibling(const QString &schema)
{
    const QFileInfo info(schema);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QLatin1String(".svg");
}

// The picture as drawn anew: white, the plan, the overlay, in one go.
QImage drawnAnew(const QString &lightSchema, const QString &stageSchema)
{
    QImage image(listIconSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QSvgRenderer renderer;
    if (!lightSchema.isEmpty() && renderer.load(svgSibling(lightSchema)))
        renderer.render(&painter);
    if (renderer.load(svgSibling(stageSchema)))
        renderer.render(&painter);
    painter.end();
    return image;
}

QStringList inFolder(const QStringList &names, const QDir &dir)
{
    QStringList paths;
    for (const QString &name : names)
        paths.append(name.isEmpty() ? name : dir.filePath(name));
    return paths;
}

} // namespace

class tst_Composite : public PanelTest
{
    Q_OBJECT

private Q_SLOTS:
    void sameAsDrawnAnew_data();
    void sameAsDrawnAnew();
};

void tst_Composite::sameAsDrawnAnew_data()
{
    // plans: what the controller's "shema" reads, in turn, one read per
    // composed stage. stages: each stage's "shema"; metafile names are
    // composed from their SVG siblings, "gone" and "nowhere" have none.
    addColumns<QStringList, QStringList>({"plans", "stages"});

    QStringList sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen.append(
            QStringLiteral("o%1.%2").arg(i % 4 + 1).arg(i % 3 ? QLatin1String("wmf") : QLatin1String("emf")));
    QTest::newRow("one plan under sixteen overlays") << QStringList{QStringLiteral("planA.wmf")} << sixteen;
    QTest::newRow("overlays missing between present ones")
        << QStringList{QStringLiteral("planA.wmf")}
        << QStringList{QStringLiteral("o1.wmf"), QStringLiteral("gone.wmf"), QStringLiteral("o2.emf"),
                       QStringLiteral("gone.emf"), QStringLiteral("o3.wmf")};
    QTest::newRow("no overlay at all") << QStringList{QStringLiteral("planA.emf")}
                                       << QStringList{QStringLiteral("gone.wmf"), QStringLiteral("nowhere.emf")};
    QTest::newRow("plan without its SVG sibling")
        << QStringList{QStringLiteral("nowhere.wmf")}
        << QStringList{QStringLiteral("o1.wmf"), QStringLiteral("gone.wmf"), QStringLiteral("o2.wmf")};
    QTest::newRow("controller without schema")
        << QStringList{QString()} << QStringList{QStringLiteral("o1.wmf"), QStringLiteral("o4.emf")};
    QTest::newRow("picture and placeholder between composed stages")
        << QStringList{QStringLiteral("planA.wmf")}
        << QStringList{QStringLiteral("o1.wmf"), QStringLiteral("pic.png"), QString(), QStringLiteral("o2.wmf"),
                       QStringLiteral("o3.emf")};
    QTest::newRow("plan read anew for each stage")
        << QStringList{QStringLiteral("planA.wmf"), QStringLiteral("planB.wmf")}
        << QStringList{QStringLiteral("o1.wmf"),  QStringLiteral("o2.wmf"), QStringLiteral("gone.wmf"),
                       QStringLiteral("pic.png"), QStringLiteral("o3.emf"), QStringLiteral("o4.wmf")};
    QTest::newRow("plan read anew, missing one in between")
        << QStringList{QStringLiteral("planA.wmf"), QStringLiteral("nowhere.wmf"), QString()}
        << QStringList{QStringLiteral("o1.wmf"), QStringLiteral("o2.wmf"), QStringLiteral("o3.wmf"),
                       QStringLiteral("o4.wmf"), QStringLiteral("gone.emf")};
}

void tst_Composite::sameAsDrawnAnew()
{
    QFETCH(QStringList, plans);
    QFETCH(QStringList, stages);

    QVERIFY(writeDrawings(QDir(dirPath())));
    plans = inFolder(plans, QDir(dirPath()));
    stages = inFolder(stages, QDir(dirPath()));

    auto *light = own(new AlternatingPlanLight(31, plans));
    for (int i = 0; i < stages.size(); ++i)
        light->addStage(i + 1, QStringLiteral("Movement %1").arg(i + 1), stages.at(i));
    QListWidget *list = openList(light);
    QVERIFY(list);
    QCOMPARE(list->count(), stages.size());

    QImage white(listIconSize, QImage::Format_RGB32);
    white.fill(Qt::white);
    int composedStages = 0;
    for (int row = 0; row < list->count(); ++row) {
        const QString stage = stages.at(row);
        if (!composed(stage))
            continue;
        const QString plan = plans.at(composedStages++ % plans.size());
        const QImage expected = drawnAnew(plan, stage);
        // Something is drawn wherever a drawing exists: the comparison below is not white against white.
        const bool drawable =
            QFileInfo::exists(svgSibling(stage)) || (!plan.isEmpty() && QFileInfo::exists(svgSibling(plan)));
        QCOMPARE(expected != white, drawable);

        const QIcon icon = list->item(row)->icon();
        QCOMPARE(icon.availableSizes(), QList<QSize>{listIconSize});
        const QImage actual = icon.pixmap(listIconSize).toImage();
        QCOMPARE(actual.convertToFormat(QImage::Format_RGB32), expected);
    }
    // The controller's plan is asked for once per composed stage, no more, no less.
    QCOMPARE(light->reads(), composedStages);
    QVERIFY(composedStages > 0);
}

QTEST_MAIN(tst_Composite)
#include "tst_composite.moc"
