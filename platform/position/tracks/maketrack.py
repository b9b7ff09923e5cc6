#!/usr/bin/env python3
"""Writes centrewalk.nmea: a five-minute walk, one RMC fix a second, clockwise round a circle
of about 65 m about the map's default centre in St Petersburg.

The walk starts at midnight UTC because the replay plugin loops it with ever later times and
has to stop before the times pass midnight; starting early gives it a whole day.

    python3 maketrack.py > centrewalk.nmea
"""

import datetime
import math
import sys

CENTRE = (59.944069, 30.306141)
RADIUS_M = 65.0
SECONDS = 300
START = datetime.datetime(2012, 6, 1, 0, 0, 0)
EARTH_RADIUS_M = 6371000.0


def checksum(body):
    value = 0
    for char in body:
        value ^= ord(char)
    return "%02X" % value


def degrees_minutes(value, width):
    degrees = int(abs(value))
    minutes = (abs(value) - degrees) * 60
    return "%0*d%07.4f" % (width, degrees, minutes)


def fix(second):
    # Clockwise from north, ending where it began so each loop joins the next smoothly.
    angle = 2 * math.pi * second / SECONDS
    north = RADIUS_M * math.cos(angle)
    east = RADIUS_M * math.sin(angle)
    lat = CENTRE[0] + math.degrees(north / EARTH_RADIUS_M)
    lon = CENTRE[1] + math.degrees(east / (EARTH_RADIUS_M * math.cos(math.radians(CENTRE[0]))))
    speed_knots = 2 * math.pi * RADIUS_M / SECONDS * 3600 / 1852
    course = (math.degrees(angle) + 90) % 360
    when = START + datetime.timedelta(seconds=second)
    body = "GPRMC,%s.00,A,%s,N,%s,E,%.1f,%.1f,%s,,,A" % (
        when.strftime("%H%M%S"),
        degrees_minutes(lat, 2),
        degrees_minutes(lon, 3),
        speed_knots,
        course,
        when.strftime("%d%m%y"),
    )
    return "$%s*%s\r\n" % (body, checksum(body))


def main():
    out = sys.stdout
    for second in range(SECONDS):
        out.write(fix(second))


if __name__ == "__main__":
    main()
