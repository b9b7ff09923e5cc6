#include "dialoganswerer.h"

#include <QPushButton>
#include <QApplication>
#include <QtTest>

namespace Pinrova::Testing {

DialogAnswerer::DialogAnswerer(QMessageBox::StandardButton answer)
    : answer(answer)
{
    connect(&poll, &QTimer::timeout, this, &DialogAnswerer::look);
    poll.start(5);
}

void DialogAnswerer::look()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible())
            continue;
        ++count;
        seen.text = box->text();
        seen.informativeText = box->informativeText();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.defaultButton = box->standardButton(box->defaultButton());
        seen.parent = box->parentWidget();
        seen.modal = box->isModal();
        if (answer == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(answer)->click();
        return;
    }
}

} // namespace Pinrova::Testing
