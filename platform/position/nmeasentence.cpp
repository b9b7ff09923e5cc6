#include "nmeasentence.h"

#include <QList>

namespace Pinrova::Platform::Nmea {

namespace {

constexpr qint64 msecsPerDay = 24 * 60 * 60 * 1000;

struct Sentence
{
    QByteArray body; // between '$' and '*'
    QByteArray ending; // whatever followed the checksum
};

bool split(const QByteArray &text, Sentence *sentence)
{
    const int star = text.indexOf('*');
    if (!text.startsWith('$') || star < 0 || text.size() < star + 3)
        return false;
    sentence->body = text.mid(1, star - 1);
    sentence->ending = text.mid(star + 3);
    return true;
}

// Index of the time-of-day field in the comma-separated body, -1 for sentences without one.
int timeField(const QByteArray &type)
{
    if (type.size() < 5)
        return -1;
    const QByteArray kind = type.right(3);
    if (kind == "RMC" || kind == "GGA" || kind == "ZDA")
        return 1;
    if (kind == "GLL")
        return 5;
    return -1;
}

bool allDigits(const QByteArray &text)
{
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return !text.isEmpty();
}

// "hhmmss" or "hhmmss.s…"; *decimals receives the number of digits after the point.
QTime parseTime(const QByteArray &field, int *decimals)
{
    if (field.size() < 6 || !allDigits(field.left(6)))
        return {};
    QByteArray fraction;
    if (field.size() > 6) {
        if (field.at(6) != '.' || !allDigits(field.mid(7)))
            return {};
        fraction = field.mid(7);
    }
    *decimals = fraction.size();
    const int msecs
        = fraction.isEmpty() ? 0 : qRound(QByteArray("0." + fraction).toDouble() * 1000);
    return QTime(field.left(2).toInt(), field.mid(2, 2).toInt(), field.mid(4, 2).toInt())
        .addMSecs(msecs);
}

QByteArray formatTime(const QTime &time, int decimals)
{
    QByteArray text = time.toString(QStringLiteral("HHmmss")).toLatin1();
    if (decimals > 0) {
        const QByteArray msecs = QByteArray::number(time.msec()).rightJustified(3, '0');
        text += '.' + msecs.left(decimals).leftJustified(decimals, '0');
    }
    return text;
}

QTime timeOf(const Sentence &sentence, int *field, int *decimals)
{
    const QList<QByteArray> fields = sentence.body.split(',');
    *field = timeField(fields.value(0));
    if (*field < 0 || *field >= fields.size())
        return {};
    return parseTime(fields.at(*field), decimals);
}

} // namespace

quint8 checksum(const QByteArray &body)
{
    quint8 sum = 0;
    for (char c : body)
        sum ^= static_cast<quint8>(c);
    return sum;
}

bool hasValidChecksum(const QByteArray &text)
{
    Sentence sentence;
    if (!split(text, &sentence))
        return false;
    bool ok = false;
    const int given = text.mid(text.indexOf('*') + 1, 2).toInt(&ok, 16);
    return ok && given == checksum(sentence.body);
}

QTime sentenceTime(const QByteArray &text)
{
    Sentence sentence;
    int field = -1;
    int decimals = 0;
    return split(text, &sentence) ? timeOf(sentence, &field, &decimals) : QTime();
}

QByteArray shiftedSentence(const QByteArray &text, qint64 msecs)
{
    Sentence sentence;
    int field = -1;
    int decimals = 0;
    if (!split(text, &sentence))
        return text;
    const QTime time = timeOf(sentence, &field, &decimals);
    if (!time.isValid())
        return text;

    QList<QByteArray> fields = sentence.body.split(',');
    fields[field] = formatTime(time.addMSecs(static_cast<int>(msecs % msecsPerDay)), decimals);
    const QByteArray body = fields.join(',');
    return '$' + body + '*'
        + QByteArray::number(checksum(body), 16).toUpper().rightJustified(2, '0') + sentence.ending;
}

} // namespace Pinrova::Platform::Nmea
