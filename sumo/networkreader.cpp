// SPDX-License-Identifier: MIT
#include "networkreader.h"

#include "junctiongeometry.h"
#include "junctionpictures.h"

#include <libsumo/libtraci.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPair>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace Helvor {

namespace {

QString qs(const std::string &text)
{
    return QString::fromStdString(text);
}

// Fields of one line of a comma-separated table; a field may be quoted.
QStringList csvFields(const QString &line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"'))
                field += line.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field.trimmed());
    return fields;
}

// junctions.csv beside a scenario: SUMO light id, operator's number and name.
QHash<QString, QPair<int, QString>> readJunctionTable(const QString &file)
{
    QHash<QString, QPair<int, QString>> table;
    QFile csv(file);
    if (!csv.open(QIODevice::ReadOnly | QIODevice::Text))
        return table;
    while (!csv.atEnd()) {
        const QString line = QString::fromUtf8(csv.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = csvFields(line);
        bool ok = false;
        const int number = fields.value(1).toInt(&ok);
        // The heading, and any line without a number, names no light.
        if (ok && fields.size() >= 3 && !fields.first().isEmpty())
            table.insert(fields.first(), {number, fields.at(2)});
    }
    return table;
}

// A file name for a light: its id, with nothing that could lead out of
// the folder.
QString fileName(const QString &id, QSet<QString> *taken)
{
    QString name = id;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QLatin1Char('_'));
    QString unique = name;
    for (int n = 2; taken->contains(unique); ++n)
        unique = name + QLatin1Char('_') + QString::number(n);
    taken->insert(unique);
    return unique;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

} // namespace

NetworkReader::NetworkReader(const QString &scenario, const QString &cacheDir)
    : m_scenario(scenario)
    , m_cacheDir(cacheDir)
{
}

std::vector<WorkerLight> NetworkReader::read(SumoNetwork *network) const
{
    using namespace libtraci;
    network->scenario = m_scenario;
    network->stepLength = Simulation::getDeltaT();

    const QFileInfo scenarioFile(m_scenario);
    const auto table = readJunctionTable(scenarioFile.absoluteDir().filePath(QStringLiteral("junctions.csv")));
    int lastNumber = 0;
    for (const auto &row : table)
        lastNumber = qMax(lastNumber, row.first);

    JunctionGeometry geometry;
    const QDir pictures(m_cacheDir);
    QSet<QString> names;

    std::vector<WorkerLight> lights;
    for (const std::string &id : TrafficLight::getIDList()) {
        const QString lightId = qs(id);
        const std::string programme = TrafficLight::getProgram(id);
        QVector<SignalSequence::Phase> phases;
        for (const libsumo::TraCILogic &logic : TrafficLight::getAllProgramLogics(id)) {
            if (logic.programID != programme)
                continue;
            for (const auto &phase : logic.phases)
                phases.append({qs(phase->state), phase->duration, qs(phase->name)});
        }
        const std::vector<std::vector<libsumo::TraCILink>> links = TrafficLight::getControlledLinks(id);
        const bool fits = std::all_of(phases.cbegin(), phases.cend(), [&links](const SignalSequence::Phase &phase) {
            return phase.state.size() == int(links.size());
        });
        // A light whose programme does not fit its links cannot be driven
        // safely: a state of the wrong length would even end sumo.
        if (phases.isEmpty() || !fits) {
            qWarning("Traffic light %s left out: its programme does not fit its %d links", id.c_str(),
                     int(links.size()));
            continue;
        }

        WorkerLight light(id, SignalSequence(qs(programme), phases));
        light.links = int(links.size());
        SumoLightInfo &info = light.info;
        info.id = lightId;
        const auto row = table.constFind(lightId);
        info.number = row != table.cend() ? row->first : ++lastNumber;
        info.name = row != table.cend() ? row->second : lightId;

        // Approaches are the edges vehicles come from; pedestrians' signals have none.
        info.signalApproach.fill(-1, int(links.size()));
        for (int index = 0; index < int(links.size()); ++index) {
            for (const libsumo::TraCILink &link : links.at(size_t(index))) {
                if (JunctionGeometry::isInternal(link.fromLane))
                    continue;
                const QString edge = qs(Lane::getEdgeID(link.fromLane));
                if (!info.approaches.contains(edge))
                    info.approaches.append(edge);
                info.signalApproach[index] = info.approaches.indexOf(edge);
                if (std::find(light.lanes.begin(), light.lanes.end(), link.fromLane) != light.lanes.end())
                    continue;
                light.lanes.push_back(link.fromLane);
                light.laneApproach.append(info.approaches.indexOf(edge));
            }
        }
        light.halting.fill(0, info.approaches.size());

        for (int stage = 1; stage <= light.sequence.stageCount(); ++stage) {
            const int phase = light.sequence.stagePhase(stage);
            SumoStageInfo stageInfo;
            stageInfo.phase = phase;
            stageInfo.description = phases.at(phase).name.isEmpty() ? tr("Phase %1").arg(phase) : phases.at(phase).name;
            stageInfo.state = phases.at(phase).state;
            info.stages.append(stageInfo);
        }
        const JunctionPictures drawing(geometry.plan(id, links));
        writePictures(drawing, pictures.filePath(fileName(lightId, &names)), id, &info);
        lights.push_back(light);
    }

    std::stable_sort(lights.begin(), lights.end(),
                     [](const WorkerLight &a, const WorkerLight &b) { return a.info.number < b.info.number; });
    for (const WorkerLight &light : lights)
        network->lights.append(light.info);
    return lights;
}

void NetworkReader::writePictures(const JunctionPictures &drawing, const QString &base, const std::string &id,
                                  SumoLightInfo *info)
{
    info->shema = base + QLatin1String(".wmf");
    if (!writeFile(base + QLatin1String(".svg"), drawing.plan(tr("%1 %2").arg(info->number).arg(info->name))))
        qWarning("The junction plan of %s could not be written", id.c_str());
    for (int stage = 1; stage <= info->stages.size(); ++stage) {
        SumoStageInfo &stageInfo = info->stages[stage - 1];
        const QString stageBase = base + QStringLiteral("_stage%1").arg(stage);
        stageInfo.shema = stageBase + QLatin1String(".wmf");
        const QString title =
            tr("%1 %2, stage %3: %4").arg(info->number).arg(info->name).arg(stage).arg(stageInfo.description);
        if (!writeFile(stageBase + QLatin1String(".svg"), drawing.stage(stageInfo.state, title)))
            qWarning("A stage picture of %s could not be written", id.c_str());
    }
}

} // namespace Helvor
