#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QWebChannel;
class QWebEnginePage;

namespace Pinrova::Social {

// Remembers the e-mail address last typed into VKontakte's login page (the "VkLogin" setting)
// and fills it in when that page has loaded. Only pages of the VKontakte host are read or
// filled: never another network's page. The page's own scripts cannot reach any of it: it runs
// in a script world of its own.
class VkEmailMemory : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(VkEmailMemory)

public:
    explicit VkEmailMemory(QObject *parent = nullptr);
    ~VkEmailMemory() override;

    // Watches page (null: none); the previous page gets neither the script nor the channel.
    void attach(QWebEnginePage *page);

    // Longer is no address (RFC 5321 allows 254 characters) and is not kept.
    static constexpr int MaximumEmailLength = 254;

private:
    void fill(bool ok);
    void typed(const QString &email);
    bool onVkPage() const;

    QPointer<QWebEnginePage> current;
    QWebChannel *channel = nullptr;
    QObject *reporter = nullptr;
};

} // namespace Pinrova::Social
