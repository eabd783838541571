// SPDX-License-Identifier: MIT
#include "bench.h"

#include "benchapplication.h"
#include "eventloop.h"
#include "junctionsvg.h"
#include "report.h"

#include <helvor/simulatedintersection.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cstdio>
#include <thread>

namespace {

// The plan's paths: about 136 KB of SVG for the benchmark's controller and
// about 25 KB, the size of the demo's plans, for the fleet behind it.
constexpr int planPaths = 3000;
constexpr int fleetPlanPaths = 500;

QString cpuModel()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown");
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

Bench::Bench(BenchApplication &app, const Settings &settings)
    : m_app(app)
    , m_settings(settings)
{
}

bool Bench::start(const QString &library)
{
    // A relative name is taken from here, not searched for in Qt's plug-in paths.
    m_loader.setFileName(QFileInfo(library).absoluteFilePath());
    m_plugin = m_loader.instance();
    if (!m_plugin) {
        std::fprintf(stderr, "cannot load the plug-in: %s\n", qPrintable(m_loader.errorString()));
        return false;
    }
    if (!m_schemas.isValid()) {
        std::fprintf(stderr, "no temporary folder for the schemas\n");
        return false;
    }
    qint64 planBytes = 0;
    qint64 overlayBytes = 0;
    if (!writeSchemas(&planBytes, &overlayBytes)) {
        std::fprintf(stderr, "cannot write the schemas\n");
        return false;
    }
    describe(planBytes, overlayBytes);

    m_window = std::make_unique<QMainWindow>();
    m_window->setCentralWidget(new QWidget);
    m_window->resize(1280, 800);
    m_window->show();
    settle();
    m_app.watchTimers("Vorlan::Widget::Private");
    return true;
}

BenchApplication &Bench::app() const
{
    return m_app;
}

const Settings &Bench::settings() const
{
    return m_settings;
}

QMainWindow &Bench::window() const
{
    return *m_window;
}

QString Bench::pluginFile() const
{
    return m_loader.fileName();
}

QStringList Bench::distinctSvgs() const
{
    return QStringList{m_planSvg} + m_overlaySvgs;
}

QString Bench::fleetPlan() const
{
    return schemaPath(QStringLiteral("fleetplan.wmf"));
}

QWidget *Bench::open(QObject *light)
{
    QWidget *panel = nullptr;
    QMetaObject::invokeMethod(m_plugin, "open", Q_RETURN_ARG(QWidget *, panel), Q_ARG(QObject *, light));
    return panel;
}

std::unique_ptr<Helvor::SimulatedIntersection> Bench::controller(int stages, const QString &plan, bool withPictures)
{
    QList<Helvor::SimulatedIntersection::StagePlan> programme;
    for (int i = 1; i <= stages; ++i) {
        const QString shema =
            withPictures ? schemaPath(QStringLiteral("stage%1.wmf").arg((i - 1) % composedStages + 1)) : QString();
        programme.append({i, QStringLiteral("Movement %1").arg(i), 20, shema});
    }
    const int number = m_nextNumber++;
    auto light = std::make_unique<Helvor::SimulatedIntersection>(
        number, QStringLiteral("Junction %1").arg(number), programme, QDateTime::currentDateTime(), quint32(number));
    light->setShema(plan);
    return light;
}

std::unique_ptr<Helvor::SimulatedIntersection> Bench::composed()
{
    return controller(composedStages, schemaPath(QStringLiteral("plan.wmf")));
}

QString Bench::schemaPath(const QString &name) const
{
    return m_schemas.filePath(name);
}

bool Bench::writeSchemas(qint64 *planBytes, qint64 *overlayBytes)
{
    const QByteArray plan = JunctionSvg::plan(planPaths);
    *planBytes = plan.size();
    m_planSvg = schemaPath(QStringLiteral("plan.svg"));
    bool written = writeFile(m_planSvg, plan)
        && writeFile(schemaPath(QStringLiteral("fleetplan.svg")), JunctionSvg::plan(fleetPlanPaths));
    for (int stage = 1; stage <= composedStages; ++stage) {
        const QByteArray overlay = JunctionSvg::overlay(stage);
        *overlayBytes += overlay.size();
        m_overlaySvgs.append(schemaPath(QStringLiteral("stage%1.svg").arg(stage)));
        written = written && writeFile(m_overlaySvgs.constLast(), overlay);
    }
    return written;
}

void Bench::describe(qint64 planBytes, qint64 overlayBytes) const
{
    note(QStringLiteral("Vorlan2 benchmark%1, %2")
             .arg(m_settings.quick ? QStringLiteral(" (quick)") : QString(),
                  QDateTime::currentDateTime().toString(Qt::ISODate)));
    note(QStringLiteral("machine: %1 processors, %2; Qt %3 (built with %4), %5, platform %6")
             .arg(std::thread::hardware_concurrency())
             .arg(cpuModel(), QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR),
                  QSysInfo::prettyProductName(), QGuiApplication::platformName()));
    note(QStringLiteral("plug-in %1, version %2")
             .arg(m_loader.fileName(), m_plugin->property("moduleVersion").toString()));
    note(QStringLiteral("plan %1 bytes with %2 paths; %3 stage overlays, %4 bytes on average")
             .arg(planBytes)
             .arg(planPaths)
             .arg(composedStages)
             .arg(overlayBytes / composedStages));
    note(QStringLiteral("times are this thread's CPU time (medians) unless marked wall"));
}
