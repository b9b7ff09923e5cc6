#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include "standins/facebookstandin.h"
#include "standins/vkstandin.h"

namespace Pinrova::Sandbox {

// The people who can sign in to the stand-ins: the Facebook account the OAuth dialog signs in
// and the VKontakte accounts (those with an e-mail and a password can sign in, the others only
// have profiles).
struct DemoUsers
{
    FacebookUser facebook;
    QVector<VkUser> vkontakte = VkStandIn::demoUsers();
};

// Reads a JSON object such as
//   {"facebook": {"id": "100000000000001", "firstName": "Anna", "lastName": "Smirnova",
//                 "gender": "female", "birthday": "4/17/1990"},
//    "vkontakte": [{"uid": "1", "firstName": "Pavel", "lastName": "Durov", "sex": 2,
//                   "birthDate": "10.10.1984", "email": "pavel@vk.example",
//                   "password": "secret"}]}
// A section left out keeps the built-in people; a field left out keeps the built-in value
// (Facebook) or stays empty (VKontakte). False with a reason when the text is not such an
// object or an identifier is not a decimal number or repeats.
bool readDemoUsers(const QByteArray &json, DemoUsers &users, QString &error);

} // namespace Pinrova::Sandbox
