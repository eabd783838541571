// SPDX-License-Identifier: MIT
#ifndef VORLAN_PLUGIN_H
#define VORLAN_PLUGIN_H

#include <QList>
#include <QObject>
#include <QString>

class QWidget;

namespace Vorlan {

// The object the host gets from the plug-in loader. It implements no
// interface class: the host reaches it only by name, through its
// meta-object. It holds nothing itself, so successive instances share
// the same panels and module-wide values.
class Plugin : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.vorlan.road.VorlanPlugin")
    Q_PROPERTY(QString moduleVersion READ moduleVersion)

public:
    Plugin();
    ~Plugin() override;

    // The panel for a controller, opened if needed; null for any other object.
    Q_INVOKABLE QWidget *open(QObject *light);
    // The open panels, in the order they were opened.
    Q_INVOKABLE QList<QWidget *> panels();

    QString moduleVersion() const;
};

} // namespace Vorlan

#endif // VORLAN_PLUGIN_H
