#pragma once

#include <QWidget>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace Ui {
// The About window's form, laid out in code the way a form designer would.
struct About
{
    QVBoxLayout *verticalLayout = nullptr;
    QScrollArea *scrollArea = nullptr;
    QWidget *scrollAreaWidgetContents = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QLabel *label = nullptr;

    void setupUi(QWidget *window);
    void retranslateUi(QWidget *window);
};
} // namespace Ui

// The page naming the application, its version and maker, and the credits. One window is made
// on first use and shown again on every later one; closing only hides it.
class About : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(About)

public:
    explicit About(QWidget *parent = nullptr);
    ~About() override;

private:
    Ui::About *ui = nullptr;
};
