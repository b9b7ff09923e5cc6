#pragma once

#include <QDBusContext>
#include <QObject>

namespace Pinrova::Platform {

class DisplayState;

// The service's request object: answers the display-state query and takes state changes.
// The state is not owned.
class MceRequestObject : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_DISABLE_COPY(MceRequestObject)
    Q_CLASSINFO("D-Bus Interface", "com.nokia.mce.request")

public:
    explicit MceRequestObject(DisplayState *state, QObject *parent = nullptr);

public slots:
    Q_SCRIPTABLE QString get_display_status() const;
    // Answers InvalidArgs for anything but "on", "off" and "dimmed", which is all the
    // service ever reports.
    Q_SCRIPTABLE void set_display_status(const QString &state);

private:
    DisplayState *m_state;
};

} // namespace Pinrova::Platform
