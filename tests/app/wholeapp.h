#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QSettings>
#include <QListWidget>
#include <QString>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

#include "loginwidget.h"
#include "pagescript.h"
#include "privatebus.h"
#include "webloginform.h"
#include "testsupport.h"

namespace Pinrova::Testing {

// What a test of the whole application sets up before anything in the process connects to a
// bus: a first start (no stored installation identifier), a private system bus with
// pinrova-mce on it, and the replay position plugin on the walk round the default centre.
// Empty on success, else what failed.
inline QString prepareWholeApp(std::unique_ptr<PrivateBus> &bus)
{
    useCleanTestPaths();
    QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova")).remove(QStringLiteral("UID"));
    bus = std::make_unique<PrivateBus>();
    if (!bus->isValid())
        return bus->error();
    bus->exportAsSystemBus();
    if (!bus->startMce())
        return bus->error();
    QCoreApplication::addLibraryPath(QStringLiteral(PINROVA_PLUGIN_DIR));
    qputenv("PINROVA_POSITION_REPLAY", QByteArray(PINROVA_TRACK));
    return {};
}

// Picks the first network (Facebook) in the window's chooser and presses Continue on the
// stand-in's dialog. The caller checks QTest::currentTestFailed() afterwards.
inline void chooseFacebookAndContinue(LoginWidget *chooser)
{
    QVERIFY(chooser);
    QListWidget *list = chooser->findChild<QListWidget *>(QStringLiteral("listWidget"));
    QVERIFY(list);
    QTRY_VERIFY(list->isVisible());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
        list->visualItemRect(list->item(0)).center());
    QVERIFY(chooser->webWindow());
    QWebEnginePage *page = chooser->webWindow()->webView()->page();
    QTRY_VERIFY(pageText(page).contains(QStringLiteral("Continue")));
    runScript(page, QStringLiteral("document.getElementById('continue').click()"));
}

} // namespace Pinrova::Testing
