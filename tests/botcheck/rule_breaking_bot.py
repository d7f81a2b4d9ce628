#!/usr/bin/env python3
"""A small bot that keeps every rule of the bot interface but the one named by --fault.

Prints {"port": N} once it listens on 127.0.0.1 (port 0 takes a free one), then serves until
SIGTERM. Without --fault it is a second, independent conforming bot: it relays each chat line to
every other map it knows (never back to its own), as devbot does, so that a poll has something to
show; it holds a poll with nothing to answer until a message comes or waitSeconds pass; it answers
a post sent again with its Idempotency-Key as the first time without storing it again; and it
writes each answer in one piece."""

import argparse
import json
import signal
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

FAULTS = {
    "none": "keeps every rule",
    "health-needs-key": "/health answers 401 without the key",
    "open-door": "takes /api requests without the key",
    "forbidden": "refuses a missing or wrong key with 403",
    "ascii-only": "refuses a chat line that is not plain ASCII with 400",
    "global-only": "refuses tribe and alliance lines with 400",
    "signed-ids": "refuses platform ids above the signed 64-bit range with 400",
    "empty-sync": "refuses a player list without players with 400",
    "unknown-map": "answers the poll of a map it has not heard of with 404",
    "html-type": "answers the poll with JSON but Content-Type text/html",
    "no-content": "answers the poll with 204 No Content, without a body or a Content-Type",
    "no-messages": "answers the poll with {\"items\": [...]} instead of \"messages\"",
    "text-time": "sends createdAt as a string",
    "no-source": "leaves sourceMapName out of lines from another map",
    "seconds": "sends createdAt in seconds",
    "twin-times": "gives two messages the same createdAt",
    "clock-behind": "stamps its messages by a clock an hour behind",
    "ignore-since": "answers every message whatever since says",
    "slow-poll": "answers the poll after 3.5 s",
    "overlong-wait": "holds a long poll twice as long as its waitSeconds",
    "no-relay-ignore-since": "relays nothing and answers every message whatever since says",
    "echo": "relays a line to its own map too",
    "no-long-poll": "answers every poll at once, whatever waitSeconds says",
    "two-pieces": "writes the headers and the body of an answer in two pieces, Nagle's algorithm on",
    "ignore-keys": "stores a post sent again with its Idempotency-Key a second time",
    "huge-answer": "answers the poll with a body of 1 GiB",
    "escape-codes": "refuses a player list with a body of terminal escape codes and a carriage return",
    "empty-refusal": "refuses a leave notice with 400 and an empty body",
}


class Store:
    def __init__(self):
        self.lock = threading.Condition()  # notified whenever a message is queued
        self.maps = set()
        self.messages = {}  # map id -> list of message objects
        self.last_time = 0
        self.answers = {}  # Idempotency-Key -> (status, answer) of the posts taken

    def next_time(self):
        self.last_time = max(self.last_time + 1, int(time.time() * 1000))
        return self.last_time

    def relay(self, line, fault):
        if fault == "no-relay-ignore-since":
            return
        with self.lock:
            self.maps.add(line["mapId"])
            for target in self.maps if fault == "echo" else self.maps - {line["mapId"]}:
                queued = self.messages.setdefault(target, [])
                created = self.next_time()
                copies = 2 if fault == "twin-times" else 1
                for _ in range(copies):
                    message = {"author": line["playerName"], "createdAt": created, "kind": "map",
                               "message": line["message"], "sourceMapName": line["mapId"].title()}
                    if fault == "seconds":
                        message["createdAt"] = created // 1000
                    if fault == "clock-behind":
                        message["createdAt"] = created - 3_600_000
                    if fault == "text-time":
                        message["createdAt"] = str(created)
                    if fault == "no-source":
                        del message["sourceMapName"]
                    queued.append(message)
            self.lock.notify_all()

    def waiting(self, map_id, since, fault):
        """The map's messages a poll with `since` answers; under the lock."""
        queued = list(self.messages.get(map_id, []))
        if fault in ("ignore-since", "no-relay-ignore-since"):
            return queued
        return [m for m in queued if not isinstance(m["createdAt"], int) or m["createdAt"] > since]


def make_handler(store, fault, api_key):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"
        # A buffered writer, flushed once the answer is complete: the whole answer leaves in one write.
        wbufsize = 1 << 16

        def log_message(self, *args):
            pass

        def answer(self, status, value, content_type="application/json"):
            body = value if isinstance(value, bytes) else json.dumps(value, separators=(",", ":")).encode("utf-8")
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if fault == "two-pieces":
                self.wfile.flush()
            self.wfile.write(body)

        def huge_answer(self):
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(1 << 30))
            self.end_headers()
            chunk = b" " * (1 << 20)
            try:
                for _ in range(1 << 10):
                    self.wfile.write(chunk)
            except OSError:
                pass
            self.close_connection = True

        def key_ok(self):
            if not api_key or fault == "open-door":
                return True
            return self.headers.get_all("Authorization") == ["Bearer " + api_key]

        def refuse_key(self):
            self.answer(403 if fault == "forbidden" else 401, {"error": "missing or wrong API key"})

        def do_GET(self):
            url = urlsplit(self.path)
            if url.path == "/health":
                if fault == "health-needs-key" and not (api_key and self.key_ok()):
                    return self.refuse_key()
                return self.answer(200, {"status": "ok"})
            if url.path != "/api/chat/outbound":
                return self.answer(404, {"error": "no such path"})
            if not self.key_ok():
                return self.refuse_key()
            query = parse_qs(url.query)
            map_id = query.get("mapId", [""])[0]
            since = int(query.get("since", ["0"])[0])
            wait = int(query.get("waitSeconds", ["0"])[0])
            if fault in ("no-long-poll", "overlong-wait"):
                wait = 0
            deadline = time.monotonic() + wait
            with store.lock:
                if fault == "unknown-map" and map_id not in store.maps:
                    return self.answer(404, {"error": "unknown map"})
                store.maps.add(map_id)
                queued = store.waiting(map_id, since, fault)
                while not queued and time.monotonic() < deadline:
                    store.lock.wait(deadline - time.monotonic())
                    queued = store.waiting(map_id, since, fault)
            if fault == "huge-answer":
                return self.huge_answer()
            if fault == "slow-poll":
                time.sleep(3.5)
            if fault == "overlong-wait" and not queued and "waitSeconds" in query:
                time.sleep(2 * int(query["waitSeconds"][0]))
            if fault == "no-messages":
                return self.answer(200, {"items": queued})
            if fault == "no-content":
                self.send_response(204)
                return self.end_headers()
            self.answer(200, {"messages": queued}, "text/html" if fault == "html-type" else "application/json")

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            raw = self.rfile.read(length)
            path = urlsplit(self.path).path
            if path not in ("/api/chat/inbound", "/api/sessions/sync", "/api/sessions/leave"):
                return self.answer(404, {"error": "no such path"})
            if not self.key_ok():
                return self.refuse_key()
            key = self.headers.get("Idempotency-Key")
            with store.lock:
                taken = store.answers.get(key) if key and fault != "ignore-keys" else None
            if taken:
                return self.answer(*taken)
            try:
                body = json.loads(raw.decode("utf-8"))
            except ValueError:
                return self.answer(400, {"error": "not JSON"})
            if path == "/api/chat/inbound":
                if fault == "ascii-only" and not body["message"].isascii():
                    return self.answer(400, {"error": "ASCII only"})
                if fault == "global-only" and body["channel"] != "global":
                    return self.answer(400, {"error": "unknown channel"})
                store.relay(body, fault)
            elif path == "/api/sessions/sync":
                if fault == "empty-sync" and not body["players"]:
                    return self.answer(400, {"error": "no players"})
                if fault == "signed-ids" and any(int(p["platformId"]) >= 2**63 for p in body["players"]):
                    return self.answer(400, {"error": "platformId out of range"})
                if fault == "escape-codes":
                    return self.answer(400, b"\x1b[2K\rok: all fine", "text/plain")
            elif path == "/api/sessions/leave" and fault == "empty-refusal":
                return self.answer(400, b"", "text/plain")
            with store.lock:
                store.maps.add(body["mapId"])
                if key:
                    store.answers[key] = (200, {"ok": True})
            self.answer(200, {"ok": True})

    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--fault", choices=sorted(FAULTS), default="none")
    parser.add_argument("--api-key", default="")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    server = ThreadingHTTPServer(("127.0.0.1", args.port), make_handler(Store(), args.fault, args.api_key))
    server.daemon_threads = True
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    print(json.dumps({"port": server.server_address[1]}), flush=True)
    server.serve_forever()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
