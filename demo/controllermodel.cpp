// SPDX-License-Identifier: MIT
#include "controllermodel.h"

#include <helvor/simulatedintersection.h>
#include <helvor/stage.h>

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace {

QIcon makeDot(const QColor &colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(colour.darker(150));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(pixmap);
}

QColor stageColour(const Helvor::SimulatedIntersection *controller)
{
    if (!controller->isConnected())
        return QColor();
    switch (controller->mode()) {
    case Helvor::SimulatedIntersection::Mode::FlashingYellow:
        return QColor(0xf2, 0xc2, 0x00);
    case Helvor::SimulatedIntersection::Mode::Dark:
        return QColor(0x30, 0x30, 0x30);
    default:
        return controller->currentStage() >= 0 ? QColor(0x2e, 0xb8, 0x2e) : QColor();
    }
}

} // namespace

ControllerModel::ControllerModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

ControllerModel::~ControllerModel() = default;

QIcon ControllerModel::dot(const QColor &colour) const
{
    // Views ask for decorations on every repaint: draw each colour once.
    auto it = m_dots.constFind(colour.rgb());
    if (it == m_dots.constEnd())
        it = m_dots.insert(colour.rgb(), makeDot(colour));
    return *it;
}

void ControllerModel::addController(Helvor::SimulatedIntersection *controller)
{
    const int row = m_controllers.size();
    beginInsertRows(QModelIndex(), row, row);
    m_controllers.append(controller);
    endInsertRows();
    connect(controller, &Helvor::Light::stateChanged, this, [this, controller] { controllerChanged(controller); });
    connect(controller, &QObject::destroyed, this, &ControllerModel::controllerDestroyed);
}

Helvor::SimulatedIntersection *ControllerModel::controller(const QModelIndex &index) const
{
    return index.isValid() && index.model() == this ? m_controllers.value(index.row()) : nullptr;
}

QModelIndex ControllerModel::indexOf(const Helvor::SimulatedIntersection *controller, int column) const
{
    const int row = m_controllers.indexOf(const_cast<Helvor::SimulatedIntersection *>(controller));
    return row < 0 ? QModelIndex() : index(row, column);
}

int ControllerModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_controllers.size();
}

int ControllerModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ControllerModel::data(const QModelIndex &index, int role) const
{
    const Helvor::SimulatedIntersection *controller = this->controller(index);
    if (!controller)
        return QVariant();
    const bool connected = controller->isConnected();
    const bool centre = controller->controlSource() == Helvor::SimulatedLight::CentreSource;

    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NumberColumn:
            return controller->number();
        case NameColumn:
            return controller->displayName();
        case ConnectionColumn:
            return connected ? tr("Connected") : tr("Off line");
        case StageColumn:
            return stageText(controller);
        case ModeColumn:
            return centre ? tr("Dispatch control") : tr("Local");
        }
        break;
    case Qt::DecorationRole:
        if (index.column() == ConnectionColumn)
            return dot(connected ? QColor(0x2e, 0xb8, 0x2e) : QColor(0xd0, 0x20, 0x20));
        if (index.column() == StageColumn) {
            const QColor colour = stageColour(controller);
            return colour.isValid() ? dot(colour) : QVariant();
        }
        break;
    case Qt::ForegroundRole:
        if (index.column() == ConnectionColumn && !connected)
            return QBrush(QColor(0xb0, 0x10, 0x10));
        if (index.column() == ModeColumn && centre)
            return QBrush(QColor(0x10, 0x50, 0xb0));
        break;
    case Qt::FontRole:
        if (index.column() == ModeColumn && centre) {
            QFont font;
            font.setBold(true);
            return font;
        }
        break;
    case Qt::TextAlignmentRole:
        if (index.column() == NumberColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case Qt::ToolTipRole:
        return quirkText(controller);
    }
    return QVariant();
}

QVariant ControllerModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case NumberColumn:
        return tr("No.");
    case NameColumn:
        return tr("Intersection");
    case ConnectionColumn:
        return tr("Connection");
    case StageColumn:
        return tr("Running stage");
    case ModeColumn:
        return tr("Control mode");
    }
    return QVariant();
}

QString ControllerModel::stageText(const Helvor::SimulatedIntersection *controller) const
{
    if (!controller->isConnected())
        return tr("—");
    switch (controller->mode()) {
    case Helvor::SimulatedIntersection::Mode::FlashingYellow:
        return tr("YF");
    case Helvor::SimulatedIntersection::Mode::Dark:
        return tr("Dark");
    default:
        break;
    }
    const int running = controller->currentStage();
    const QList<Helvor::Stage *> stages = controller->stages();
    for (const Helvor::Stage *stage : stages) {
        if (stage->id() == running)
            return tr("%1:%2").arg(stage->id()).arg(stage->description());
    }
    return running >= 0 ? QString::number(running) : tr("—");
}

QString ControllerModel::quirkText(const Helvor::SimulatedIntersection *controller) const
{
    QStringList lines;
    lines.append(tr("Double-click or press Enter to open the control panel."));
    if (controller->dropInterval() > 0)
        lines.append(
            tr("Its line drops for a few seconds about every %n second(s).", nullptr, controller->dropInterval()));
    if (controller->refusalRate() >= 0.1)
        lines.append(
            tr("It refuses about %1 % of the centre's commands.").arg(qRound(controller->refusalRate() * 100)));
    if (controller->stages().size() > 8)
        lines.append(tr("%n stage(s) to choose from.", nullptr, controller->stages().size()));
    return lines.join(QLatin1Char('\n'));
}

void ControllerModel::controllerChanged(const Helvor::SimulatedIntersection *controller)
{
    const QModelIndex first = indexOf(controller);
    if (first.isValid())
        Q_EMIT dataChanged(first, index(first.row(), ColumnCount - 1));
}

void ControllerModel::controllerDestroyed(QObject *controller)
{
    // Only the QObject part is left: compare addresses, touch nothing.
    for (int row = 0; row < m_controllers.size(); ++row) {
        if (static_cast<QObject *>(m_controllers.at(row)) == controller) {
            beginRemoveRows(QModelIndex(), row, row);
            m_controllers.removeAt(row);
            endRemoveRows();
            return;
        }
    }
}
