// SPDX-License-Identifier: MIT
#ifndef VORLAN_STAGEPICTURES_H
#define VORLAN_STAGEPICTURES_H

#include <QDeadlineTimer>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace Vorlan {

// The pictures of one stage list, drawn from the schema files that a
// controller and its stages name. The files are the host's configuration,
// not ours: nothing here trusts them. Holds the plan last drawn, so that a
// list whose stages share the controller's plan draws it once. All the
// pictures of one list share a time: what is not drawn by then, a list of
// thousands of stages or a host's hostile files, stays blank.
class StagePictures
{
public:
    explicit StagePictures(const QSize &size);

    static constexpr int maxMilliseconds = 3000;

    // Metafile schemas cannot be drawn here; the SVG drawings beside them
    // can: the junction's plan, with the stage's movements on top.
    static bool isComposed(const QString &stageSchema);

    // White, the plan beside planSchema, the stage's drawing beside
    // stageSchema on top; whatever does not load is left out.
    QIcon composed(const QString &planSchema, const QString &stageSchema);
    // The stage's own picture file; null when there is none to show.
    QIcon picture(const QString &file);
    // One blank picture of the common size, shared by every stage without one.
    QIcon blank();

private:
    QDeadlineTimer m_deadline;
    QSize m_size;
    QString m_planFile;
    QPixmap m_plan;
    QIcon m_blank;
};

} // namespace Vorlan

#endif // VORLAN_STAGEPICTURES_H
