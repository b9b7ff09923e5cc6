#pragma once

#include <QPixmap>
#include <QVector>
#include <QWidget>

#include "nearbyuser.h"

class QListWidget;
class QListWidgetItem;

namespace Pinrova::Map {

// The small window a tap on a group that cannot split any further opens: one row per person of
// the group, with picture and name. Choosing a row hands its person on and closes the window.
class GroupChooser : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY(GroupChooser)

public:
    explicit GroupChooser(QWidget *parent = nullptr);

    // Fills the rows; placeholder stands in for people whose picture has not arrived.
    void setPeople(const QVector<Social::NearByUser> &people, const QPixmap &placeholder);
    const QVector<Social::NearByUser> &people() const { return shown; }

signals:
    void personChosen(const Social::NearByUser &user);

private:
    void choose(QListWidgetItem *item);

    QListWidget *list = nullptr;
    QVector<Social::NearByUser> shown;
};

} // namespace Pinrova::Map
