#pragma once

#include <QObject>
#include <QString>

namespace Pinrova::Platform {

// The display state the mode-control service reports: "on", "off" or "dimmed".
class DisplayState : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(DisplayState)

public:
    explicit DisplayState(const QString &initial, QObject *parent = nullptr);

    static bool isValid(const QString &state);

    QString current() const { return m_current; }

    // Takes a valid state; returns false and keeps the current one for any other text.
    // changed() follows only a real change, as the handset's service signals transitions.
    bool set(const QString &state);

signals:
    void changed(const QString &state);

private:
    QString m_current;
};

} // namespace Pinrova::Platform
