#include "vkemailmemory.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>
#include <QUrl>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include "outsideaddresses.h"

namespace Pinrova::Social {

namespace {

const QString LoginKey = QStringLiteral("VkLogin");
const QString ScriptName = QStringLiteral("pinrova-vk-email");
const QString ReporterName = QStringLiteral("vkEmail");
constexpr quint32 ScriptWorld = QWebEngineScript::ApplicationWorld;

QSettings settings()
{
    return QSettings(QStringLiteral("Tavrion"), QStringLiteral("Pinrova"));
}

QUrl vkHost()
{
    return QUrl(Network::outsideAddress(Network::OutsideAddress::VkHost));
}

// The host as a script sees it in location.origin (no default port).
QString vkOrigin()
{
    const QUrl host = vkHost();
    QString origin = host.scheme() + QStringLiteral("://") + host.host();
    const int defaultPort = host.scheme() == QLatin1String("https") ? 443 : 80;
    if (host.port() != -1 && host.port() != defaultPort)
        origin += QLatin1Char(':') + QString::number(host.port());
    return origin;
}

// Values for a script as a JSON array literal, which is valid JavaScript whatever they hold.
QString scriptValues(const QStringList &values)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(values)).toJson(QJsonDocument::Compact));
}

// Reports the address fields' text when the form is sent or the page goes away (a script that
// submits the form itself sends no submit event). The channel is opened as soon as the
// document is ready: a page on its way out cannot wait for the channel's handshake.
const char ReportScript[] = R"((function (origin) {
    if (location.origin !== origin)
        return;
    var reporter = null;
    new QWebChannel(qt.webChannelTransport, function (channel) {
        reporter = channel.objects.vkEmail;
    });
    function report() {
        var fields = document.querySelectorAll('input[type=email]');
        if (reporter && fields.length)
            reporter.typed(String(fields[fields.length - 1].value));
    }
    document.addEventListener('submit', report, true);
    window.addEventListener('pagehide', report);
}).apply(null, %1);)";

const char FillScript[] = R"((function (origin, email) {
    if (location.origin !== origin)
        return;
    document.querySelectorAll('input[type=email]').forEach(function (field) {
        field.setAttribute('value', email);
        field.value = email;
    });
}).apply(null, %1);)";

// Receives the page's reports; a separate object, so that the page sees nothing else.
class Reporter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void reported(const QString &email);

public slots:
    void typed(const QString &email) { emit reported(email); }
};

QString webChannelLibrary()
{
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

VkEmailMemory::VkEmailMemory(QObject *parent)
    : QObject(parent)
    , channel(new QWebChannel(this))
{
    auto *receiver = new Reporter(this);
    connect(receiver, &Reporter::reported, this, &VkEmailMemory::typed);
    reporter = receiver;
    channel->registerObject(ReporterName, reporter);
}

VkEmailMemory::~VkEmailMemory()
{
    attach(nullptr); // the page may outlive this, and must not keep the channel
}

void VkEmailMemory::attach(QWebEnginePage *page)
{
    if (current) {
        disconnect(current, nullptr, this, nullptr);
        const QWebEngineScript script = current->scripts().findScript(ScriptName);
        if (!script.isNull())
            current->scripts().remove(script);
        if (current->webChannel() == channel)
            current->setWebChannel(nullptr, ScriptWorld);
    }
    current = page;
    if (!page)
        return;
    connect(page, &QWebEnginePage::loadFinished, this, &VkEmailMemory::fill);
    QWebEngineScript script;
    script.setName(ScriptName);
    script.setWorldId(ScriptWorld);
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(webChannelLibrary() + QLatin1Char('\n')
        + QString::fromLatin1(ReportScript).arg(scriptValues({vkOrigin()})));
    page->scripts().insert(script);
    page->setWebChannel(channel, ScriptWorld);
}

bool VkEmailMemory::onVkPage() const
{
    if (!current)
        return false;
    const QUrl url = current->url();
    const QUrl host = vkHost();
    // The port is compared too: stand-ins for several servers share one loopback host.
    return url.host() == host.host() && url.port() == host.port();
}

void VkEmailMemory::fill(bool ok)
{
    if (!ok || !onVkPage())
        return;
    const QVariant remembered = settings().value(LoginKey);
    if (remembered.isNull())
        return;
    // The script checks the page's origin again: the page may have changed by the time it runs.
    current->runJavaScript(
        QString::fromLatin1(FillScript).arg(scriptValues({vkOrigin(), remembered.toString()})),
        ScriptWorld);
}

void VkEmailMemory::typed(const QString &email)
{
    if (email.size() > MaximumEmailLength || !onVkPage())
        return;
    settings().setValue(LoginKey, email);
}

} // namespace Pinrova::Social

#include "vkemailmemory.moc"
