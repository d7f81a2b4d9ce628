#!/usr/bin/env python3
"""docs/bot-api.yaml against the real thing, in both directions.

1. The contract itself: an OpenAPI 3.1 document whose schemas are valid JSON Schema 2020-12, and
   which accepts and refuses the bodies it should (rows below).
2. The plug-in to the bot: palaverlink-devserver runs the plug-in against a bot here that records
   every request as it arrived; each one must be a request of the document, with a body (compact,
   members in ascending order, application/json) or query that its schema accepts, and the key.
3. The bot to the plug-in: palaverlink-devbot's answers to the plug-in's requests, each checked
   against the document's schema for its status.
Every process is started here and stopped by its pid."""

import argparse
import copy
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qsl, urlsplit

import jsonschema
import yaml

KEY = "s3cret"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def pointer(*parts):
    return "#/" + "/".join(str(part).replace("~", "~0").replace("/", "~1") for part in parts)


class Contract:
    """The document, and validators for any schema in it by JSON pointer."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as stream:
            self.doc = yaml.safe_load(stream)

    def errors(self, schema_pointer, value):
        # The whole document is the root, so that "#/components/..." references resolve in it; the
        # schema to apply is its "$ref". Unknown top-level words (openapi, paths, ...) are ignored.
        root = copy.deepcopy(self.doc)
        root["$ref"] = schema_pointer
        validator = jsonschema.Draft202012Validator(root)
        return [error.message for error in validator.iter_errors(value)]

    def operation(self, method, path):
        return self.doc["paths"].get(path, {}).get(method.lower())

    def request_schema(self, method, path):
        return pointer("paths", path, method.lower(), "requestBody", "content", "application/json", "schema")

    def response_schema(self, method, path, status):
        responses = self.operation(method, path)["responses"]
        for key in (str(status), f"{str(status)[0]}XX", "default"):
            if key in responses:
                response = responses[key]
                base = ("paths", path, method.lower(), "responses", key)
                if "$ref" in response:
                    name = response["$ref"].rsplit("/", 1)[1]
                    response = self.doc["components"]["responses"][name]
                    base = ("components", "responses", name)
                if "application/json" not in response.get("content", {}):
                    return None
                return pointer(*base, "content", "application/json", "schema")
        return None


def test_document(contract):
    doc = contract.doc
    check(str(doc.get("openapi", "")).startswith("3.1"), "the document is not OpenAPI 3.1")
    expected = {("post", "/api/chat/inbound"), ("get", "/api/chat/outbound"), ("post", "/api/sessions/sync"),
                ("post", "/api/sessions/leave"), ("get", "/health")}
    found = {(method, path) for path, item in doc["paths"].items() for method in item}
    check(found == expected, f"the document's requests {sorted(found)} are not the plug-in's five")
    for name, schema in doc["components"]["schemas"].items():
        try:
            jsonschema.Draft202012Validator.check_schema(schema)
        except jsonschema.SchemaError as error:
            check(False, f"components.schemas.{name} is not a valid schema: {error.message}")
    # Every example in the document is accepted by its own schema.
    for path, item in doc["paths"].items():
        for method, operation in item.items():
            body = operation.get("requestBody", {}).get("content", {}).get("application/json", {})
            if "example" in body:
                errors = contract.errors(contract.request_schema(method, path), body["example"])
                check(not errors, f"the example of {method.upper()} {path} is refused: {errors}")
            for status, response in operation["responses"].items():
                example = response.get("content", {}).get("application/json", {}).get("example")
                if example is not None:
                    errors = contract.errors(contract.response_schema(method, path, status), example)
                    check(not errors, f"the example answer {status} of {method.upper()} {path} is refused: {errors}")


PLAYER = {"platformId": "18446744073709551615", "playerName": "Ann", "sessionStartedAt": 1718000000000,
          "steamName": "", "tribeName": ""}
LINE = {"channel": "global", "mapId": "the-island", "message": "hi", "platformId": "0", "playerName": "A",
        "tribeName": ""}
MESSAGE = {"author": "Mod", "createdAt": 1718000000000, "kind": "gabblen", "message": "hi"}

# (schema, value, accepted?, what the row shows)
ROWS = [
    ("ChatInbound", LINE, True, "a chat line"),
    ("ChatInbound", {**LINE, "platformId": 7}, False, "a platform id as a number"),
    ("ChatInbound", {**LINE, "platformId": "007"}, False, "a platform id with leading zeros"),
    ("ChatInbound", {**LINE, "channel": "local"}, False, "local chat, which is never relayed"),
    ("ChatInbound", {**LINE, "message": "/help"}, False, "a command"),
    ("ChatInbound", {**LINE, "message": ""}, False, "an empty line"),
    ("ChatInbound", {**LINE, "extra": 1}, False, "a member the plug-in never sends"),
    ("ChatInbound", {k: v for k, v in LINE.items() if k != "tribeName"}, False, "a missing tribeName"),
    ("SessionSync", {"mapId": "the-island", "players": []}, True, "a sync without players"),
    ("SessionSync", {"mapId": "the-island", "players": [PLAYER]}, True, "the largest platform id"),
    ("SessionSync", {"mapId": "the-island", "players": [{**PLAYER, "platformId": "0"}]}, False, "platform id 0"),
    ("SessionSync", {"mapId": "the-island", "players": [{**PLAYER, "sessionStartedAt": 1.5}]}, False,
     "a fractional start"),
    ("SessionSync", {"mapId": "", "players": []}, False, "an empty map id"),
    ("SessionLeave", {"mapId": "the-island", "platformId": "76561198000000001"}, True, "a leave"),
    ("SessionLeave", {"mapId": "the-island"}, False, "a leave without a platform id"),
    ("OutboundAnswer", {"messages": [MESSAGE], "next": 3}, True, "a message and an extra member"),
    ("OutboundAnswer", {"messages": [{**MESSAGE, "kind": "map", "sourceMapName": "The Center"}]}, True,
     "a line from another map"),
    ("OutboundAnswer", {"messages": [{**MESSAGE, "kind": "map"}]}, False, "another map without its name"),
    ("OutboundAnswer", {"messages": [{**MESSAGE, "createdAt": "1718000000000"}]}, False, "createdAt as text"),
    ("OutboundAnswer", {"messages": [{**MESSAGE, "createdAt": 1718000000000.5}]}, False, "a fractional createdAt"),
    ("OutboundAnswer", {"messages": [{**MESSAGE, "author": None}]}, False, "a null author"),
    ("OutboundAnswer", {"items": []}, False, "no messages member"),
    ("OutboundAnswer", [MESSAGE], False, "a bare array"),
]


def test_rows(contract):
    for schema, value, accepted, what in ROWS:
        errors = contract.errors(pointer("components", "schemas", schema), value)
        check(bool(errors) != accepted,
              f"{schema} {'refuses' if errors else 'accepts'} {what}: {errors[:1] if errors else value}")


class RecordingBot:
    """Answers like a bot that has nothing to show, and keeps every request as it arrived."""

    def __init__(self):
        self.requests = []
        bot = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def record(self):
                length = int(self.headers.get("Content-Length", "0"))
                body = self.rfile.read(length) if length else b""
                bot.requests.append({"method": self.command, "target": self.path,
                                     "headers": {k.lower(): v for k, v in self.headers.items()},
                                     "authorization": self.headers.get_all("Authorization") or [],
                                     "body": body})
                text = b'{"messages":[]}' if self.path.startswith("/api/chat/outbound") else b'{"ok":true}'
                self.send_response(200)
                self.send_header("Content-Type", "application/json")
                self.send_header("Content-Length", str(len(text)))
                self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(text)

            do_GET = record
            do_POST = record

        self.server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    @property
    def port(self):
        return self.server.server_address[1]

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


# A configured id that needs percent-encoding in the query: a blank, a '+' and a non-ASCII letter.
MAP_ID = "Ragnarök 2+"
MAP_ID_IN_QUERY = "mapId=Ragnar%C3%B6k%202%2B&"

SCENE = """world TheIsland
join 76561198000000001 "Ann Lee" account=ann_steam tribe=Wolves
join 18446744073709551615 Ben nostate
sleep 1500
chat 76561198000000001 global Grüße aus dem Norden ✓
chat 76561198000000001 tribe "Tribe line with \\"quotes\\""
chat 18446744073709551615 alliance Alliance line
chat 76561198000000001 global /help
sleep 1500
leave 76561198000000001
sleep 800
quit
"""


def test_plugin_requests(contract, args):
    bot = RecordingBot()
    with tempfile.TemporaryDirectory(prefix="palaverlink-schema-") as root:
        folder = os.path.join(root, "ArkApi", "Plugins", "Palaverlink")
        os.makedirs(folder)
        config = {"BridgeUrl": f"http://127.0.0.1:{bot.port}", "ApiKey": KEY, "MapId": MAP_ID,
                  "SyncIntervalSeconds": 1, "OutboundPollSeconds": 1, "OutboundWaitSeconds": 1,
                  "RelayTribeChat": True, "RelayAllianceChat": True}
        with open(os.path.join(folder, "config.json"), "w", encoding="utf-8") as stream:
            json.dump(config, stream)
        server = subprocess.Popen([args.devserver, "--root", root, "--plugin", args.plugin],
                                  stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            server.communicate(SCENE.encode("utf-8"), timeout=60)
        except subprocess.TimeoutExpired:
            os.kill(server.pid, signal.SIGKILL)
            server.wait()
            check(False, "devserver did not finish the scene")
    bot.stop()

    seen = set()
    polls_waited = 0
    for request in bot.requests:
        url = urlsplit(request["target"])
        where = f"{request['method']} {url.path}"
        operation = contract.operation(request["method"], url.path)
        if not check(operation is not None, f"the plug-in sent {where}, which the document lacks"):
            continue
        seen.add(where)
        check(request["authorization"] == [f"Bearer {KEY}"], f"{where} came without exactly the bearer key")
        if request["method"] == "POST":
            check(request["headers"].get("content-type", "").split(";")[0] == "application/json",
                  f"{where} came with Content-Type {request['headers'].get('content-type')}")
            text = request["body"].decode("utf-8")
            body = json.loads(text)
            compact = json.dumps(body, sort_keys=True, separators=(",", ":"), ensure_ascii=False)
            check(text == compact, f"{where} body is not compact with sorted members: {text}")
            errors = contract.errors(contract.request_schema("POST", url.path), body)
            check(not errors, f"{where} body {text} is refused by the document: {errors}")
            check(body["mapId"] == MAP_ID, f"{where} named the map {body['mapId']}")
        if url.path == "/api/chat/outbound":
            check(url.query.startswith(MAP_ID_IN_QUERY), f"{where} came with the query {url.query}")
            polls_waited += "waitSeconds=1" in url.query.split("&")
        for index, parameter in enumerate(operation.get("parameters", [])):
            schema_at = pointer("paths", url.path, request["method"].lower(), "parameters", index, "schema")
            if "$ref" in parameter:
                name = parameter["$ref"].rsplit("/", 1)[1]
                parameter = contract.doc["components"]["parameters"][name]
                schema_at = pointer("components", "parameters", name, "schema")
            if parameter["in"] == "header":
                values = {name: value for name, value in request["headers"].items()}
                present = parameter["name"].lower()
            else:
                values = dict(parse_qsl(url.query, keep_blank_values=True))
                present = parameter["name"]
            if present not in values:
                check(not parameter.get("required"), f"{where} came without {parameter['name']}")
                continue
            value = values[present]
            if parameter["schema"].get("type") == "integer":
                if not check(value.lstrip("-").isdigit(), f"{where} {parameter['name']}={value} is not an integer"):
                    continue
                value = int(value)
            errors = contract.errors(schema_at, value)
            check(not errors, f"{where} {parameter['name']}={value} is refused: {errors}")
    for where in ("POST /api/chat/inbound", "GET /api/chat/outbound", "POST /api/sessions/sync",
                  "POST /api/sessions/leave"):
        check(where in seen, f"the plug-in never sent {where} in the scene")
    check(polls_waited > 0, "no poll asked the bot to wait (OutboundWaitSeconds is 1)")
    channels = sorted(json.loads(r["body"])["channel"] for r in bot.requests if r["target"] == "/api/chat/inbound")
    check(channels == ["alliance", "global", "tribe"], f"the relayed channels were {channels}")
    return len(bot.requests)


def call(port, method, target, body=None, key=KEY):
    headers = {"Content-Type": "application/json"} if body is not None else {}
    if key:
        headers["Authorization"] = f"Bearer {key}"
    data = json.dumps(body).encode("utf-8") if body is not None else None
    request = urllib.request.Request(f"http://127.0.0.1:{port}{target}", data=data, method=method, headers=headers)
    try:
        with urllib.request.urlopen(request, timeout=10) as answer:
            return answer.status, answer.headers.get("Content-Type", ""), answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers.get("Content-Type", ""), error.read()


def test_devbot_answers(contract, args):
    bot = subprocess.Popen([args.devbot, "--listen", "127.0.0.1:0", "--api-key", KEY], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    try:
        port = json.loads(bot.stdout.readline())["port"]
        line = {**LINE, "mapId": "the-center", "platformId": "76561198000000002", "playerName": "Cleo"}
        exchanges = [
            ("GET", "/health", None, None),
            ("GET", "/health", None, ""),
            ("GET", "/api/chat/outbound?mapId=the-island&since=0", None, KEY),
            ("POST", "/api/chat/inbound", line, KEY),
            ("POST", "/api/sessions/sync", {"mapId": "the-island", "players": [PLAYER]}, KEY),
            ("POST", "/api/sessions/leave", {"mapId": "the-island", "platformId": PLAYER["platformId"]}, KEY),
            # Long poll with nothing newer: held, then an empty answer.
            ("GET", "/api/chat/outbound?mapId=the-island&since=9999999999999&waitSeconds=1", None, KEY),
            # A line over devbot's 1 MiB limit: a refusal, which must match the document's 4XX answer.
            ("POST", "/api/chat/inbound", {**line, "message": "x" * (1 << 20)}, KEY),
            ("GET", "/api/chat/outbound?mapId=the-island&since=0", None, KEY),
            ("POST", "/api/chat/inbound", line, ""),
            ("GET", "/api/chat/outbound?mapId=the-island&since=0", None, "wrong"),
        ]
        call(port, "POST", "/admin/say", {"author": "Mod", "message": "Welcome!", "mapId": "the-island"}, key="")
        statuses = []
        for method, target, body, key in exchanges:
            status, content_type, text = call(port, method, target, body, KEY if key is None else key)
            statuses.append(status)
            path = urlsplit(target).path
            schema = contract.response_schema(method, path, status)
            if schema is None:
                continue
            check(content_type.split(";")[0] == "application/json", f"devbot answered {method} {target} as {content_type}")
            errors = contract.errors(schema, json.loads(text))
            check(not errors, f"devbot's {status} to {method} {target} ({text!r}) is refused: {errors}")
            if path == "/api/chat/outbound" and status == 200:
                last_poll = json.loads(text)
        check(statuses == [200, 200, 200, 200, 200, 200, 200, 413, 200, 401, 401], f"devbot answered {statuses}")
        kinds = sorted(message["kind"] for message in last_poll["messages"])
        check(kinds == ["gabblen", "map"], f"the last poll held messages of kinds {kinds}, not one of each")
    finally:
        os.kill(bot.pid, signal.SIGTERM)
        bot.wait(timeout=10)
        bot.stdout.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--contract", required=True)
    parser.add_argument("--devserver", required=True)
    parser.add_argument("--plugin", required=True)
    parser.add_argument("--devbot", required=True)
    args = parser.parse_args()

    contract = Contract(args.contract)
    test_document(contract)
    test_rows(contract)
    sent = test_plugin_requests(contract, args)
    test_devbot_answers(contract, args)
    for failure in failures:
        print("FAILED: " + failure)
    print(f"{len(ROWS)} schema rows, {sent} requests of the plug-in and devbot's answers checked; "
          f"{len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
