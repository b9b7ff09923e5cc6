#!/usr/bin/env python3
"""A Graph API stand-in for the benchmarks: /debug_token says every token "tok-N" is a valid
user token of application 1234 for user N. Prints its port on the first line."""
import json
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        url = urlsplit(self.path)
        query = parse_qs(url.query)
        token = query.get("input_token", [""])[0]
        if url.path != "/debug_token" or not token.startswith("tok-"):
            body = b'{"error":{"code":190}}'
            self.send_response(400)
        else:
            data = {"app_id": "1234", "type": "USER", "is_valid": True,
                    "user_id": token[4:], "expires_at": 0}
            body = json.dumps({"data": data}).encode()
            self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
sys.stdout.close()
server.serve_forever()
