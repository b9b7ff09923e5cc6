#include "standinhelpers.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace Pinrova::Sandbox {

std::string toStd(const QString &text)
{
    return text.toStdString();
}

std::string toStd(const QByteArray &bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

std::string origin(const Http::HttpRequest &request)
{
    const std::string host = request.header("Host");
    return "http://" + (host.empty() ? std::string("127.0.0.1") : host);
}

QString htmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QByteArray portraitPng(int size, const QColor &color)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRect(image.rect());
    painter.setBrush(color.lighter(170));
    const qreal s = size;
    painter.drawEllipse(QPointF(s / 2, s * 0.38), s * 0.18, s * 0.2);
    QPainterPath shoulders;
    shoulders.addEllipse(QPointF(s / 2, s * 1.02), s * 0.38, s * 0.4);
    painter.drawPath(shoulders);
    painter.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::string formValue(const std::string &body, const std::string &key)
{
    std::string plusAsSpace = body;
    for (char &c : plusAsSpace) {
        if (c == '+')
            c = ' ';
    }
    Http::HttpRequest parsed;
    parsed.query = plusAsSpace;
    return parsed.queryValue(key);
}

Http::HttpResponse htmlPage(const QString &title, const QString &body, int status)
{
    const QString page = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                                        "<meta name=\"viewport\" content=\"width=device-width\">"
                                        "<title>%1</title></head>\n<body>%2</body></html>\n")
                             .arg(htmlEscaped(title), body);
    Http::HttpResponse response = Http::HttpResponse::ok(toStd(page), "text/html; charset=utf-8");
    response.status = status;
    return response;
}

} // namespace Pinrova::Sandbox
