// SPDX-License-Identifier: MIT
#ifndef VORLAN_TESTS_HOST_H
#define VORLAN_TESTS_HOST_H

#include "panel/controller/widget_p.h"

#include <QDateTime>
#include <QList>
#include <QMessageBox>
#include <QPluginLoader>
#include <QPointer>
#include <QSharedPointer>
#include <QString>

#include <functional>

class QAction;
class QListWidget;

// Plays the host for the test suites: loads the built plug-in as the
// workstation does, talks to it by name, and finds the panel's parts by
// their object names. White-box access to a panel's private object goes
// through the plug-in's own test hook, so the code under test is always
// the loaded library.
class Host
{
public:
    // Loads the autotests' build of the plug-in, or the one at plugin.
    explicit Host(const QString &plugin = pluginPath());

    QPluginLoader &loader();
    // The plug-in object; null if the library does not load.
    QObject *plugin();
    // Whether plugin() was asked: before, cleaning up must not make the object.
    bool pluginAsked() const;
    QWidget *open(QObject *light);
    QList<QWidget *> panels();

    static Vorlan::Widget::Private *d(QWidget *panel);
    static QAction *action(QWidget *panel, const char *name);
    static QListWidget *stageList(QWidget *panel);
    // One watchdog tick, as the panel's timer would deliver it.
    static void tick(QWidget *panel);

    // Makes every panel's clock read now, until useRealClock().
    static void setClock(const QDateTime &now);
    static void advanceClock(qint64 seconds);
    static QDateTime clock();
    static void useRealClock();
    // Whether setClock() was called since the last useRealClock().
    static bool clockMoved();

    // The modal box seen by answerNextPrompt.
    struct Prompt
    {
        bool seen = false;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
    };

    // Waits for the next modal message box and answers it: with a click on
    // button, or with the Escape key for QMessageBox::Escape. before runs
    // while the box is open, just before the answer.
    static QSharedPointer<Prompt> answerNextPrompt(QMessageBox::StandardButton button,
                                                   std::function<void()> before = {});

    static QString pluginPath();

private:
    QPluginLoader m_loader;
    bool m_pluginAsked = false;
};

#endif // VORLAN_TESTS_HOST_H
