#include "installationid.h"

#include <QSettings>

namespace {
const QString Key = QStringLiteral("UID");
}

QUuid readInstallationId(QSettings &settings)
{
    if (settings.value(Key, QVariant()).isNull()) {
        const QUuid uid = QUuid::createUuid();
        settings.setValue(Key, uid.toString());
        settings.sync();
        return uid;
    }
    return QUuid(settings.value(Key).toString());
}
