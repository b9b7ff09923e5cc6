#!/usr/bin/env python3
"""Registers COUNT VKontakte people with a signed session each on the pinrova-posd at PORT and
writes "uid key" per line to OUT (the key empty under --open-registration)."""
import base64
import hashlib
import http.client
import json
import sys

port, count, secret, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
connection = http.client.HTTPConnection("127.0.0.1", port)
with open(out, "w") as lines:
    for n in range(1, count + 1):
        mid, sid, session_secret = str(n), "sid%d" % n, "s%d" % n
        sig = hashlib.md5(("expire=0mid=%ssecret=%ssid=%s%s" % (
            mid, session_secret, sid, secret)).encode()).hexdigest()
        session = json.dumps({"expire": 0, "mid": mid, "secret": session_secret, "sid": sid,
                              "sig": sig}, separators=(",", ":"))
        credential = base64.urlsafe_b64encode(session.encode()).decode().rstrip("=")
        uid = "{%08x-2222-4000-8000-000000000000}" % n
        connection.request("GET", "/PosService/PosService.svc/Register?uid=%s&network=vkontakte"
                           "&id=%s&name=Bench%%20%s&smallPic=&mediumPic=&sex=0" % (
                               uid.replace("{", "%7B").replace("}", "%7D"), mid, mid),
                           headers={"Authorization": "VKontakte " + credential})
        answer = connection.getresponse()
        body = answer.read().decode()
        if answer.status != 200:
            sys.exit("Register %d answered %d: %s" % (n, answer.status, body))
        key = body.strip() if len(body.strip()) == 43 else ""
        lines.write("%s %s\n" % (uid.replace("{", "%7B").replace("}", "%7D"), key))
