#include "handsetwindow.h"

#include <QWidget>

namespace Pinrova::Platform {

void setHandsetAttributes(QWidget *widget, HandsetAttributes attributes)
{
    Q_UNUSED(widget)
    Q_UNUSED(attributes)
}

} // namespace Pinrova::Platform
