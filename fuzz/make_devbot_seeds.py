#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_devbot_request: request sequences a plug-in and a test really send,
laid out as the target's FuzzedDataProvider reads them (texts from the front, each ended by a
backslash and one other byte; numbers one byte each from the back)."""

import os
import sys

METHODS = ["GET", "POST", "HEAD", "PUT", "DELETE"]
PATHS = ["/health", "/api/chat/inbound", "/api/chat/outbound", "/api/sessions/sync", "/api/sessions/leave",
         "/admin/say", "/admin/fault", "/admin/inbound", "/admin/sessions", "/admin/leaves",
         "/admin/messages", "/admin/maps", "/api/"]
QUERY_NAMES = ["mapId", "since", "limit", ""]


class Layout:
    def __init__(self):
        self.front = bytearray()
        self.back = []  # in the order they are read

    def text(self, value):
        self.front += value.encode("utf-8").replace(b"\\", b"\\\\") + b"\\x"

    def number(self, value):
        self.back.append(value)

    def pick(self, choices, value):
        self.number(1)  # a known choice, not a text of the input's own
        self.number(choices.index(value))

    def data(self):
        return bytes(self.front) + bytes(reversed(self.back))


def request(out, method, path, query=(), key="right", json_body=True, body=""):
    out.pick(METHODS, method)
    out.pick(PATHS, path)
    out.number(len(query))
    for name, value in query:
        out.pick(QUERY_NAMES, name)
        out.text(value)
    out.number({"none": 0, "right": 1, "twice": 3}[key])
    out.number(1 if json_body else 0)
    if json_body:
        out.number(1)
    out.number(1)  # from a loopback address
    out.text(body)
    out.number(1)  # the clock moves on


def seed(with_key, *requests):
    out = Layout()
    out.number(1 if with_key else 0)
    for args in requests:
        request(out, **args)
    return out.data()


INBOUND = ('{"channel":"global","mapId":"the-island","message":"hello","platformId":"76561198000000001",'
           '"playerName":"Rex","tribeName":"Raptors"}')
SYNC = ('{"mapId":"the-island","players":[{"platformId":"1","playerName":"Rex","sessionStartedAt":1718000000000,'
        '"steamName":"rex","tribeName":""}]}')

SEEDS = {
    "say-then-poll": seed(False,
                          dict(method="POST", path="/admin/say",
                               body='{"author":"Mod","message":"Welcome!","mapId":"the-island"}'),
                          dict(method="GET", path="/api/chat/outbound",
                               query=[("mapId", "the-island"), ("since", "0")])),
    "two-maps-relay": seed(True,
                           dict(method="GET", path="/api/chat/outbound", query=[("mapId", "ragnarok"), ("since", "0")]),
                           dict(method="POST", path="/api/chat/inbound", body=INBOUND),
                           dict(method="GET", path="/api/chat/outbound", query=[("mapId", "ragnarok"), ("since", "0")]),
                           dict(method="GET", path="/admin/inbound", query=[("mapId", "the-island")])),
    "sessions": seed(True,
                     dict(method="POST", path="/api/sessions/sync", body=SYNC),
                     dict(method="POST", path="/api/sessions/leave", body='{"mapId":"the-island","platformId":"1"}'),
                     dict(method="GET", path="/admin/sessions"),
                     dict(method="GET", path="/admin/leaves")),
    "faults": seed(False,
                   dict(method="POST", path="/admin/fault", body='{"mode":"slow","ms":60000}'),
                   dict(method="GET", path="/health"),
                   dict(method="POST", path="/admin/fault", body='{"mode":"down"}'),
                   dict(method="GET", path="/api/chat/outbound", query=[("mapId", "x"), ("since", "-1")]),
                   dict(method="POST", path="/admin/fault", body='{"mode":"garbage"}'),
                   dict(method="GET", path="/api/chat/outbound", query=[("mapId", "x"), ("since", "1")])),
    "wrong-key": seed(True,
                      dict(method="POST", path="/api/chat/inbound", key="none", body=INBOUND),
                      dict(method="POST", path="/api/chat/inbound", key="twice", body=INBOUND)),
    "bad-bodies": seed(False,
                       dict(method="POST", path="/api/chat/inbound", body='{"mapId":"the-island"}'),
                       dict(method="POST", path="/api/sessions/sync", body='{"mapId":1,"players":[]}'),
                       dict(method="POST", path="/api/sessions/leave", body='{"mapId":"m","platformId":"-1"}'),
                       dict(method="POST", path="/api/chat/inbound", json_body=False, body=INBOUND),
                       dict(method="GET", path="/api/chat/outbound", query=[("since", "abc")])),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus",
                                                               "fuzz_devbot_request")
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
