#include "groupchooser.h"

#include <QListWidget>
#include <QVBoxLayout>

#include "handsetwindow.h"

namespace Pinrova::Map {

namespace {
constexpr int PictureSize = 50;
constexpr int VisibleRows = 6;
} // namespace

GroupChooser::GroupChooser(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    Platform::setHandsetAttributes(this,
        Platform::HandsetAttribute::AutoOrientation | Platform::HandsetAttribute::StackedWindow);
    setObjectName(QStringLiteral("GroupChooser"));
    setWindowTitle(tr("People here"));
    auto *layout = new QVBoxLayout(this);
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("people"));
    list->setIconSize(QSize(PictureSize, PictureSize));
    list->setUniformItemSizes(true);
    layout->addWidget(list);
    // A tap chooses, as on the handset; Enter does too.
    connect(list, &QListWidget::itemClicked, this, &GroupChooser::choose);
    connect(list, &QListWidget::itemActivated, this, &GroupChooser::choose);
}

void GroupChooser::setPeople(const QVector<Social::NearByUser> &people, const QPixmap &placeholder)
{
    shown = people;
    list->clear();
    for (const Social::NearByUser &user : people) {
        const QPixmap picture = user.picture.isNull()
            ? placeholder
            : QPixmap::fromImage(user.picture)
                  .scaled(PictureSize, PictureSize, Qt::KeepAspectRatio, Qt::FastTransformation);
        const QString name = user.person.name.isEmpty() ? tr("(no name)") : user.person.name;
        list->addItem(new QListWidgetItem(QIcon(picture), name));
    }
    const int rows = qBound(1, int(people.size()), VisibleRows);
    resize(320, rows * (PictureSize + 8) + 24);
}

void GroupChooser::choose(QListWidgetItem *item)
{
    const int row = list->row(item);
    if (row < 0 || row >= shown.size())
        return;
    const Social::NearByUser user = shown.at(row);
    hide();
    emit personChosen(user);
}

} // namespace Pinrova::Map
