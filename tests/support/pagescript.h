#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QVariant>
#include <QWebEnginePage>
#include <QtTest>

#include <memory>

namespace Pinrova::Testing {

// Runs script in the page's own world and waits for its value; an invalid QVariant when none
// came within ten seconds.
inline QVariant runScript(QWebEnginePage *page, const QString &script)
{
    struct Outcome
    {
        bool done = false;
        QVariant value;
    };
    // Shared with the callback, which may still come after a timeout.
    const auto outcome = std::make_shared<Outcome>();
    page->runJavaScript(script, [outcome](const QVariant &value) {
        outcome->value = value;
        outcome->done = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!outcome->done && clock.elapsed() < 10000)
        QTest::qWait(10);
    return outcome->value;
}

inline QString pageText(QWebEnginePage *page)
{
    return runScript(page, QStringLiteral("document.body ? document.body.innerText : ''"))
        .toString();
}

inline bool hasElement(QWebEnginePage *page, const QString &selector)
{
    return runScript(page,
        QStringLiteral("document.querySelector(%1) !== null")
            .arg(QLatin1Char('\'') + selector + QLatin1Char('\'')))
        .toBool();
}

} // namespace Pinrova::Testing
