// SPDX-License-Identifier: MIT
//
// Generates the demo's schema pictures: for every junction of the fleet a
// plan, and for every stage an overlay with the movements it releases. The
// panel draws the plan and then the overlay on a white 200 x 125 icon, so an
// overlay has no background of its own and everything has to read at half
// the size drawn here. Output is deterministic: rerunning it gives
// identical bytes.
//
// Usage: makeschemas <output-folder>

#include "fleet.h"
#include "layout.h"
#include "movements.h"
#include "pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace {

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

// The panel reads the picture beside the file the controller names.
QString pictureFor(const QString &schema)
{
    const QFileInfo info(schema);
    return info.dir().filePath(info.completeBaseName() + QLatin1String(".svg"));
}

bool writeFile(const QString &path, const QByteArray &data)
{
    // QSaveFile so an interrupted run never leaves a truncated picture behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        err() << "makeschemas: cannot write " << path << ": " << file.errorString() << Qt::endl;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        err() << "usage: makeschemas <output-folder>" << Qt::endl;
        return 2;
    }
    const QString folder = args.at(1);
    if (!QDir().mkpath(folder)) {
        err() << "makeschemas: cannot create folder " << folder << Qt::endl;
        return 1;
    }

    bool ok = true;
    for (const Fleet::Junction &junction : Fleet::junctions()) {
        Layout layout;
        QString error;
        if (!makeLayout(junction, &layout, &error)) {
            err() << "makeschemas: " << error << Qt::endl;
            ok = false;
            continue;
        }
        ok &= writeFile(pictureFor(Fleet::planSchema(folder, junction)), plan(junction, layout));
        for (const Fleet::Stage &stage : junction.stages) {
            // The layout has read every stage already.
            Movements movements;
            parseMovements(junction, stage, &movements, &error);
            ok &=
                writeFile(pictureFor(Fleet::stageSchema(folder, junction, stage)), overlay(junction, stage, movements));
        }
    }
    return ok ? 0 : 1;
}
