// SPDX-License-Identifier: MIT
#ifndef VORLAN_DEMO_CONTROLLERMODEL_H
#define VORLAN_DEMO_CONTROLLERMODEL_H

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QList>

namespace Helvor {
class SimulatedIntersection;
}

// The controllers the workstation watches, one row each, as the centre
// sees them: kept up to date from each controller's stateChanged().
class ControllerModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { NumberColumn, NameColumn, ConnectionColumn, StageColumn, ModeColumn, ColumnCount };

    explicit ControllerModel(QObject *parent = nullptr);
    ~ControllerModel() override;

    void addController(Helvor::SimulatedIntersection *controller);
    Helvor::SimulatedIntersection *controller(const QModelIndex &index) const;
    QModelIndex indexOf(const Helvor::SimulatedIntersection *controller, int column = NumberColumn) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QIcon dot(const QColor &colour) const;
    QString stageText(const Helvor::SimulatedIntersection *controller) const;
    QString quirkText(const Helvor::SimulatedIntersection *controller) const;
    void controllerChanged(const Helvor::SimulatedIntersection *controller);
    void controllerDestroyed(QObject *controller);

    QList<Helvor::SimulatedIntersection *> m_controllers;
    mutable QHash<QRgb, QIcon> m_dots;
};

#endif // VORLAN_DEMO_CONTROLLERMODEL_H
