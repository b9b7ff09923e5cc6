#pragma once

#include <QFlags>

class QWidget;

namespace Pinrova::Platform {

// Window behaviour that only the handset's Qt offers.
enum class HandsetAttribute {
    AutoOrientation = 0x1, // follow the device's orientation
    StackedWindow = 0x2, // take part in the platform's window stack
};
Q_DECLARE_FLAGS(HandsetAttributes, HandsetAttribute)

// Turns the handset's widget attributes on. They exist only in the handset's Qt 4; their
// numbers name unrelated attributes in Qt 5, so this build leaves the widget untouched and a
// handset build fills this in.
void setHandsetAttributes(QWidget *widget, HandsetAttributes attributes);

} // namespace Pinrova::Platform

Q_DECLARE_OPERATORS_FOR_FLAGS(Pinrova::Platform::HandsetAttributes)
