#pragma once

#include <QByteArray>
#include <QTime>

// Reading and rewriting single NMEA 0183 sentences ("$GPRMC,...*hh"), as far as replaying a
// log needs it.
namespace Pinrova::Platform::Nmea {

// XOR of the characters between '$' and '*'.
quint8 checksum(const QByteArray &body);

// True for "$<body>*hh", line ending allowed, whose hh matches the body.
bool hasValidChecksum(const QByteArray &sentence);

// Time of day carried by an RMC, GGA, GLL or ZDA sentence from any talker; invalid for other
// sentences and for a missing or malformed time.
QTime sentenceTime(const QByteArray &sentence);

// The sentence with its time of day moved by msecs, written with as many decimals as before,
// and a new checksum; the line ending is kept. A sentence without a time comes back as it
// was. The date is left alone, so the caller keeps the moved time within the day.
QByteArray shiftedSentence(const QByteArray &sentence, qint64 msecs);

} // namespace Pinrova::Platform::Nmea
