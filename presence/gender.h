#pragma once

#include <QtGlobal>

class QString;

// A person's sex. The values travel as decimal numbers to the position service, so they are
// fixed.
enum Gender : qint32 {
    UnknownGender = 0,
    Male = 1,
    Female = 2,
};

// The translated display text (context "QObject"); any value other than Male and Female reads
// "Unknown".
QString genderToString(Gender gender);

// Reads "MALE" and "FEMALE" in any case; everything else, the empty text included, is
// UnknownGender.
Gender genderFromString(const QString &text);
