#include "translations.h"

#include <QLocale>
#include <QString>
#include <QTranslator>

bool loadTranslation(QTranslator &translator, const QLocale &locale)
{
    const QString directory = QStringLiteral(":/translations");
    if (translator.load(QStringLiteral("pinrova_") + locale.name(), directory))
        return true;
    return translator.load(QStringLiteral("pinrova_en"), directory);
}
