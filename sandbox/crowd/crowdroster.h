#pragma once

#include <QVector>

#include "crowdperson.h"

namespace Pinrova::Sandbox {

// The crowd's people: alternately on Facebook and on VKontakte (Latin names on one, Cyrillic on
// the other), each with a uid and an identifier of their own. The same count and seed always
// give the same people, so a restarted sandbox updates its crowd instead of adding to it.
// Picture addresses are left empty.
QVector<CrowdPerson> crowdRoster(int count, quint32 seed);

} // namespace Pinrova::Sandbox
