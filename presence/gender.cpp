#include "gender.h"

#include <QObject>
#include <QString>

QString genderToString(Gender gender)
{
    switch (gender) {
    case Male:
        return QObject::tr("Male");
    case Female:
        return QObject::tr("Female");
    default:
        return QObject::tr("Unknown");
    }
}

Gender genderFromString(const QString &text)
{
    const QString upper = text.toUpper();
    if (upper == QLatin1String("MALE"))
        return Male;
    if (upper == QLatin1String("FEMALE"))
        return Female;
    return UnknownGender;
}
