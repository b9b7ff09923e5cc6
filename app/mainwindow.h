#pragma once

#include <QMainWindow>

class QHBoxLayout;
class QVBoxLayout;

namespace Pinrova::Map {
class MapWidget;
}

namespace Ui {
// The window's form, laid out in code the way a form designer would.
struct MainWindow
{
    QWidget *centralWidget = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QVBoxLayout *verticalLayout = nullptr;

    void setupUi(QMainWindow *window);
    void retranslateUi(QMainWindow *window);
};
} // namespace Ui

// The application's one top-level window: a frame for the map.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    Pinrova::Map::MapWidget *map() const { return mapWidget; }

public slots:
    void zoomIn();
    void zoomOut();

private:
    Ui::MainWindow *ui = nullptr;
    Pinrova::Map::MapWidget *mapWidget = nullptr;
};
