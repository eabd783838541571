// SPDX-License-Identifier: MIT
#ifndef VORLAN_DEMO_MODULE_H
#define VORLAN_DEMO_MODULE_H

#include <QCoreApplication>
#include <QList>
#include <QPluginLoader>
#include <QPointer>
#include <QString>
#include <QStringList>

class QWidget;

// The Vorlan2 plug-in as the workstation holds it. The plug-in object
// implements no interface the host could link against, so everything
// the workstation asks of it goes through here, by name.
class Module
{
    Q_DECLARE_TR_FUNCTIONS(Module)

public:
    Module();
    ~Module();

    // Loads the first candidate file that exists. False, with an
    // errorString(), when none exists or the one found is not ours.
    bool load(const QStringList &candidates);
    QString errorString() const;
    QString fileName() const;
    QObject *plugin() const;

    QString version() const;
    QWidget *open(QObject *controller) const;
    QList<QWidget *> panels() const;

private:
    bool loadFile(const QString &file);

    QPluginLoader m_loader;
    QPointer<QObject> m_plugin;
    QString m_error;
};

#endif // VORLAN_DEMO_MODULE_H
