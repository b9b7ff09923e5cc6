#pragma once

#include <QUuid>

class QSettings;

// The installation's identity towards the position service, kept under "UID" as the braced
// text of a UUID. On first start a new one is made and stored at once; a stored text that is
// not a UUID gives the null UUID and is left as it is.
QUuid readInstallationId(QSettings &settings);
