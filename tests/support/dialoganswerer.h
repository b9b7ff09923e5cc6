#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;

namespace Pinrova::Testing {

// Answers every message box that shows up, so no test is ever left hanging on a dialog.
class DialogAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QString text;
        QString informativeText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QWidget *parent = nullptr;
        bool modal = false;
    };

    // Clicks the button, or presses Escape when it is NoButton.
    explicit DialogAnswerer(QMessageBox::StandardButton answer);

    void setAnswer(QMessageBox::StandardButton button) { answer = button; }

    int count = 0; // boxes answered so far
    Seen seen; // the last one

private:
    void look();

    QMessageBox::StandardButton answer;
    QTimer poll;
};

} // namespace Pinrova::Testing
