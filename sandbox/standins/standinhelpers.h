#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

#include <string>

#include "httpserver.h"

// Small pieces every stand-in needs.
namespace Pinrova::Sandbox {

std::string toStd(const QString &text);
std::string toStd(const QByteArray &bytes);
QString fromStd(const std::string &text);

// "http://" + the Host header the request came with, so redirects and picture addresses point
// back at whatever address the client used.
std::string origin(const Http::HttpRequest &request);

// Escapes text for HTML element content and attribute values.
QString htmlEscaped(const QString &text);

// A simple generated portrait: a coloured disc with a lighter head-and-shoulders shape.
QByteArray portraitPng(int size, const QColor &color);

// The value of a key in an application/x-www-form-urlencoded body ("+" means a space).
std::string formValue(const std::string &body, const std::string &key);

Http::HttpResponse htmlPage(const QString &title, const QString &body, int status = 200);

} // namespace Pinrova::Sandbox
