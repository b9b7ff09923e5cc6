#pragma once

#include <QVector>

#include <optional>

#include "nearbyuser.h"

class QByteArray;

namespace Pinrova::Social {

// The people of a GetUsers answer, in answer order, each with a null picture. Nothing when the
// body is not well-formed XML or its document element is not "ArrayOfUser" (the caller then
// keeps its list); an "ArrayOfUser" without people gives an empty vector.
std::optional<QVector<NearByUser>> parseUserListAnswer(const QByteArray &body);

// The fresh list to show: a fresh person that the current list already knows (the first entry,
// in the current list's order, sharing a non-empty identifier in one of the slots 0-4) keeps
// that entry's record and picture and takes only the new position and online flag.
QVector<NearByUser> mergeUserList(const QVector<NearByUser> &current, QVector<NearByUser> fresh);

// Both in one pass, the same as mergeUserList(current, *parseUserListAnswer(body)), without
// reading what the current list already holds for a known person. When crowds is given it
// receives the answer's Crowd cells (direct children of ArrayOfUser after the people), at most
// MaximumCrowds of them; the people read are the same either way.
std::optional<QVector<NearByUser>> readUserListAnswer(const QByteArray &body,
    const QVector<NearByUser> &current, QVector<NearByCrowd> *crowds = nullptr);

// A view of 4096 x 4096 pixels holds 4096 cells of 64 x 64; more is not a real answer.
constexpr int MaximumCrowds = 8192;
// A count beyond any city's; larger ones are read as this.
constexpr int MaximumCrowdCount = 1000000000;

// The two readers behind readUserListAnswer, open for tests that hold them to the same result:
// the scanner for the service's plain XML gives nothing for a document it leaves to the full
// stream reader.
std::optional<QVector<NearByUser>> readWithPlainScanner(const QByteArray &body,
    const QVector<NearByUser> &current, QVector<NearByCrowd> *crowds = nullptr);
std::optional<QVector<NearByUser>> readWithStreamReader(const QByteArray &body,
    const QVector<NearByUser> &current, QVector<NearByCrowd> *crowds = nullptr);

} // namespace Pinrova::Social
