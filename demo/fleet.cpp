// SPDX-License-Identifier: MIT
#include "fleet.h"

#include <QDir>

namespace Fleet {

QList<Junction> junctions()
{
    QList<Junction> list;
    list.append({12,
                 QStringLiteral("North gate"),
                 QStringLiteral("NESW"),
                 {{1, QStringLiteral("Harbour Road"), 24, QStringLiteral("NS SN NE SW")},
                  {2, QStringLiteral("Harbour Road turns"), 10, QStringLiteral("NW SE")},
                  {3, QStringLiteral("Gate Street"), 18, QStringLiteral("EW WE ES WN")},
                  {4, QStringLiteral("Pedestrians"), 12, QStringLiteral("pN pE pS pW")}}});
    list.append({14,
                 QStringLiteral("Market Square"),
                 QStringLiteral("NES"),
                 {{1, QStringLiteral("Through traffic"), 22, QStringLiteral("NS SN SE")},
                  {2, QStringLiteral("Market exit"), 12, QStringLiteral("EN ES NE")},
                  {3, QStringLiteral("Crossing"), 10, QStringLiteral("pN pS pE")}}});
    list.append({21,
                 QStringLiteral("Station Avenue"),
                 QStringLiteral("NESW"),
                 {{1, QStringLiteral("Avenue"), 26, QStringLiteral("EW WE EN WS")},
                  {2, QStringLiteral("Station access"), 14, QStringLiteral("NS SN NW SE")},
                  {3, QStringLiteral("Taxi rank"), 8, QStringLiteral("SW NE")}},
                 Quirk::DroppingLine});
    list.append({27,
                 QStringLiteral("Ring Road / Mill Lane"),
                 QStringLiteral("NESW"),
                 {{1, QStringLiteral("Ring Road"), 30, QStringLiteral("EW WE")},
                  {2, QStringLiteral("Ring Road turns"), 10, QStringLiteral("ES WN")},
                  {3, QStringLiteral("Mill Lane"), 14, QStringLiteral("NS SN NE SW")},
                  {4, QStringLiteral("Mill Lane turns"), 8, QStringLiteral("NW SE")}},
                 Quirk::Refusing});
    list.append({33,
                 QStringLiteral("Cathedral Bridge"),
                 QStringLiteral("EW"),
                 {{1, QStringLiteral("Bridge traffic"), 28, QStringLiteral("EW WE")},
                  {2, QStringLiteral("Pedestrians"), 12, QStringLiteral("pE pW")}}});
    list.append({40,
                 QStringLiteral("Airport Interchange"),
                 QStringLiteral("NESW"),
                 {{1, QStringLiteral("North through"), 20, QStringLiteral("NS")},
                  {2, QStringLiteral("South through"), 20, QStringLiteral("SN")},
                  {3, QStringLiteral("North and south"), 16, QStringLiteral("NS SN")},
                  {4, QStringLiteral("North left"), 8, QStringLiteral("NE")},
                  {5, QStringLiteral("South left"), 8, QStringLiteral("SW")},
                  {6, QStringLiteral("North right"), 6, QStringLiteral("NW")},
                  {7, QStringLiteral("South right"), 6, QStringLiteral("SE")},
                  {8, QStringLiteral("East through"), 18, QStringLiteral("EW")},
                  {9, QStringLiteral("West through"), 18, QStringLiteral("WE")},
                  {10, QStringLiteral("East and west"), 14, QStringLiteral("EW WE")},
                  {11, QStringLiteral("East left"), 8, QStringLiteral("ES")},
                  {12, QStringLiteral("West left"), 8, QStringLiteral("WN")},
                  {13, QStringLiteral("Terminal buses"), 6, QStringLiteral("EN WS")},
                  {14, QStringLiteral("Pedestrians"), 12, QStringLiteral("pN pE pS pW")}}});
    list.append({45,
                 QStringLiteral("School Street"),
                 QStringLiteral("NESW"),
                 {{1, QStringLiteral("School Street"), 20, QStringLiteral("NS SN NE SW")},
                  {2, QStringLiteral("Park Road"), 20, QStringLiteral("EW WE ES WN")},
                  {3, QStringLiteral("School crossing"), 14, QStringLiteral("pN pS")}}});
    return list;
}

QString planSchema(const QString &folder, const Junction &junction)
{
    return QDir(folder).filePath(QStringLiteral("junction%1.wmf").arg(junction.number));
}

QString stageSchema(const QString &folder, const Junction &junction, const Stage &stage)
{
    return QDir(folder).filePath(QStringLiteral("junction%1_stage%2.wmf").arg(junction.number).arg(stage.id));
}

} // namespace Fleet
