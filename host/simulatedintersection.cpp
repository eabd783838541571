// SPDX-License-Identifier: MIT
#include "helvor/simulatedintersection.h"

#include "helvor/stage.h"
#include "response.h"

namespace Helvor {

namespace {

// Control algorithms the device reports while the centre drives it.
constexpr int algorithmStage = 0;
constexpr int algorithmDark = 252;
constexpr int algorithmYellow = 255;

// Key modes.
constexpr int keyDark = 0;
constexpr int keyProgramme = 1;
constexpr int keyYellow = 2;

} // namespace

SimulatedIntersection::SimulatedIntersection(int number, const QString &name, const QList<StagePlan> &programme,
                                             const QDateTime &start, quint32 seed, QObject *parent)
    : SimulatedLight(number, name, parent)
    , m_programme(programme)
    , m_now(start)
    , m_random(seed)
{
    for (const StagePlan &stage : programme)
        addStage(stage.id, stage.description, stage.shema);
    if (!m_programme.isEmpty())
        runProgramme(0, m_now);
}

SimulatedIntersection::~SimulatedIntersection() = default;

QDateTime SimulatedIntersection::now() const
{
    return m_now;
}

SimulatedIntersection::Mode SimulatedIntersection::mode() const
{
    return m_mode;
}

void SimulatedIntersection::setRefusalRate(double share)
{
    m_refusalRate = share;
}

double SimulatedIntersection::refusalRate() const
{
    return m_refusalRate;
}

void SimulatedIntersection::setDropInterval(int seconds)
{
    m_dropInterval = seconds;
    m_nextDrop = QDateTime();
    scheduleDrop(m_now);
}

int SimulatedIntersection::dropInterval() const
{
    return m_dropInterval;
}

void SimulatedIntersection::dropConnection(int seconds)
{
    // A time in the past would drag the clock back when the line returns.
    const QDateTime back = m_now.addSecs(qMax(0, seconds));
    if (!m_backOnline.isValid() || back > m_backOnline)
        m_backOnline = back;
    if (isConnected()) {
        setConnected(false);
        Q_EMIT stateChanged();
    }
}

void SimulatedIntersection::advance(qint64 msecs)
{
    // The clock never runs back: stages would end before they began.
    const QDateTime target = m_now.addMSecs(qMax<qint64>(0, msecs));
    // Everything due up to target, in the order it falls due.
    forever {
        enum { Nothing, StageEnd, Answer, Online, Drop } what = Nothing;
        QDateTime next = target;
        int answer = -1;
        if (m_mode == Mode::Programme && m_stageEnds.isValid() && m_stageEnds <= next) {
            next = m_stageEnds;
            what = StageEnd;
        }
        for (int i = 0; i < m_answers.size(); ++i) {
            if (m_answers.at(i).due < next || (what == Nothing && m_answers.at(i).due == next)) {
                next = m_answers.at(i).due;
                what = Answer;
                answer = i;
            }
        }
        if (m_backOnline.isValid() && (m_backOnline < next || (what == Nothing && m_backOnline == next))) {
            next = m_backOnline;
            what = Online;
        }
        if (m_nextDrop.isValid() && (m_nextDrop < next || (what == Nothing && m_nextDrop == next))) {
            next = m_nextDrop;
            what = Drop;
        }
        if (what == Nothing)
            break;

        m_now = next;
        switch (what) {
        case StageEnd:
            runProgramme((m_stageIndex + 1) % m_programme.size(), next);
            break;
        case Answer:
            carryOut(m_answers.takeAt(answer), next);
            break;
        case Online:
            m_backOnline = QDateTime();
            setConnected(true);
            if (m_mode == Mode::Restarting) {
                // Back from a restart on its own programme: the centre must take it again.
                setDispatchControl(false);
                runProgramme(0, next);
            } else {
                Q_EMIT stateChanged();
            }
            break;
        case Drop:
            m_nextDrop = QDateTime();
            dropConnection(m_random.bounded(3, 9));
            scheduleDrop(next);
            break;
        case Nothing:
            break;
        }
    }
    m_now = target;
}

void SimulatedIntersection::commandAccepted(const QString &command, const QVariantList &arguments, Response *response)
{
    const int delay = m_random.bounded(minAnswerDelay, maxAnswerDelay + 1);
    m_answers.append({response, command, arguments, m_now.addMSecs(delay)});
}

void SimulatedIntersection::localRequested()
{
    // The line layer delivers it once the device is back; a restart ends local anyway.
    if (m_mode == Mode::Restarting)
        return;
    setDispatchControl(false);
    switch (m_mode) {
    case Mode::Programme:
        Q_EMIT stateChanged();
        break;
    case Mode::HeldStage:
        // The held stage goes on showing, so it keeps the time it began;
        // the programme gives it its usual length from here.
        m_mode = Mode::Programme;
        m_stageEnds = m_now.addSecs(qMax(1, m_programme.at(m_stageIndex).seconds));
        Q_EMIT stateChanged();
        break;
    default:
        runProgramme(m_stageIndex, m_now);
        break;
    }
}

void SimulatedIntersection::runProgramme(int index, const QDateTime &at)
{
    m_mode = Mode::Programme;
    if (m_programme.isEmpty()) {
        setKeyRegime(keyProgramme);
        Q_EMIT stateChanged();
        return;
    }
    m_stageIndex = index;
    const StagePlan &stage = m_programme.at(index);
    setCurrentStage(stage.id);
    setKeyRegime(keyProgramme);
    setPhaseChangeTime(at);
    m_stageEnds = at.addSecs(qMax(1, stage.seconds));
    Q_EMIT stateChanged();
}

void SimulatedIntersection::carryOut(const PendingAnswer &answer, const QDateTime &at)
{
    Response *response = answer.response;
    int code = Response::Success;
    const int stage = answer.command == QLatin1String("set_phase") ? stageIndex(answer.arguments.value(0).toInt()) : 0;
    if (!isConnected() || m_mode == Mode::Restarting)
        code = NoAnswer;
    else if (stage < 0 || m_random.generateDouble() < m_refusalRate)
        code = Refused;

    if (code == Response::Success) {
        const auto centre = [this](int algorithm) {
            setControlSource(CentreSource);
            setControlAlgorithm(algorithm);
        };
        // phaseChangeTime is when the signals last changed (the panel counts
        // from it), so a command that leaves them as they are keeps it.
        if (answer.command == QLatin1String("set_yf")) {
            if (m_mode != Mode::FlashingYellow)
                setPhaseChangeTime(at);
            m_mode = Mode::FlashingYellow;
            centre(algorithmYellow);
            setCurrentStage(-1);
            setKeyRegime(keyYellow);
        } else if (answer.command == QLatin1String("set_os")) {
            if (m_mode != Mode::Dark)
                setPhaseChangeTime(at);
            m_mode = Mode::Dark;
            centre(algorithmDark);
            setCurrentStage(-1);
            setKeyRegime(keyDark);
        } else if (answer.command == QLatin1String("set_phase")) {
            const bool showing = m_mode == Mode::HeldStage || m_mode == Mode::Programme;
            const bool change = !showing || m_stageIndex != stage;
            m_mode = Mode::HeldStage;
            m_stageIndex = stage;
            centre(algorithmStage);
            setCurrentStage(m_programme.at(stage).id);
            setKeyRegime(keyProgramme);
            if (change)
                setPhaseChangeTime(at);
        } else if (answer.command == QLatin1String("set_start")) {
            m_mode = Mode::Restarting;
            setConnected(false);
            setCurrentStage(-1);
            m_backOnline = at.addSecs(restartSeconds);
        } else {
            code = Refused;
        }
    }
    if (code == Response::Success)
        Q_EMIT stateChanged();
    if (response) {
        response->finish(code);
        // The host keeps no answer once it has been given.
        response->deleteLater();
    }
}

void SimulatedIntersection::scheduleDrop(const QDateTime &from)
{
    if (m_dropInterval <= 0)
        return;
    // Somewhere between half and one and a half of the mean interval.
    m_nextDrop = from.addMSecs(m_random.bounded(500 * m_dropInterval, 1500 * m_dropInterval + 1));
}

int SimulatedIntersection::stageIndex(int id) const
{
    for (int i = 0; i < m_programme.size(); ++i) {
        if (m_programme.at(i).id == id)
            return i;
    }
    return -1;
}

} // namespace Helvor
