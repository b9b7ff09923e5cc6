#pragma once

#include <QObject>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace Pinrova::Sandbox {

struct CrowdPerson;

// "Register" and "SetPos" requests of the position service for a person of the crowd. Every
// value is percent-encoded, so names and picture addresses with "&", "=", "+" or "?" arrive
// whole.
QUrl registerUrl(const QUrl &service, const CrowdPerson &person);
QUrl setPosUrl(const QUrl &service, const QString &uid, double lat, double lon);

// Sends those requests and says how each ended: Register with the person's credential, SetPos
// with the session key Register answered. People are numbered by the caller.
class PositionServiceClient : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(PositionServiceClient)

public:
    explicit PositionServiceClient(const QUrl &service, QObject *parent = nullptr);

    void registerPerson(int person, const CrowdPerson &who);
    void reportPosition(
        int person, const QString &uid, double lat, double lon, const QByteArray &key);

signals:
    // status is the HTTP status, 0 when no answer came; key is the answer's session key (empty
    // unless status is 200).
    void registerFinished(int person, int status, const QByteArray &key);
    void reportFinished(int person, int status);

private:
    void send(const QUrl &url, int person, bool isRegister, const QByteArray &authorization);
    void finished(QNetworkReply *reply);

    QUrl service;
    QNetworkAccessManager *network;
};

} // namespace Pinrova::Sandbox
