// SPDX-License-Identifier: MIT
#ifndef VORLAN_DEMO_SHOWCASE_H
#define VORLAN_DEMO_SHOWCASE_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class Workstation;

// A state of the workstation worth a picture: one controller under
// dispatch control with a stage ordered, another on flashing yellow. It is
// set up as an operator would set it up, and photographed once the window
// shows it.
class Showcase : public QObject
{
    Q_OBJECT

public:
    explicit Showcase(Workstation *window, QObject *parent = nullptr);

    // Sets the scene, then saves a picture of the window to file (PNG)
    // as soon as the window shows it, or when waiting longer would not help.
    void photograph(const QString &file);
    // The picture photograph() waits for, taken now if it is still to be
    // taken: for a run that ends first.
    void saveNow();
    bool isReady() const;

Q_SIGNALS:
    // Once per photograph(), whether the file was written.
    void photographed(bool saved);

private:
    void setUp();
    void check();

    Workstation *m_window;
    QString m_file;
    QTimer m_poll;
    QElapsedTimer m_waiting;
};

#endif // VORLAN_DEMO_SHOWCASE_H
