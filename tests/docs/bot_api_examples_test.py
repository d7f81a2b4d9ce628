#!/usr/bin/env python3
"""The bot guide's examples and map table, checked against themselves and the code.

1. Every example in docs/bot-api.yaml is accepted by its own schema, and together they keep the
   guide's rules: each example message is newer than the example since, no two share a createdAt,
   every map message names a source map the guide's table names, the example key has the plug-in's
   form.
2. docs/bot-api.md shows the same examples as the yaml.
3. The guide's map table lists exactly the plug-in's table (src/game/map_id.cpp), and the names it
   gives, as well as the names of its custom-id examples, are the names devbot shows.
devbot is started here and stopped by its pid."""

import argparse
import copy
import json
import os
import re
import signal
import subprocess
import sys
import urllib.parse
import urllib.request

import jsonschema
import yaml

problems = []


def check(condition, what):
    if not condition:
        problems.append(what)
    return condition


def validate(doc, pointer, value, where):
    root = copy.deepcopy(doc)
    root["$ref"] = pointer
    errors = [error.message for error in jsonschema.Draft202012Validator(root).iter_errors(value)]
    check(not errors, f"{where} is refused by its own schema: {errors}")


def escape(*parts):
    return "#/" + "/".join(str(part).replace("~", "~0").replace("/", "~1") for part in parts)


def yaml_examples(doc):
    """Every example, with the pointer of its schema: {where: (pointer, value)}."""
    found = {}
    for name, parameter in doc["components"].get("parameters", {}).items():
        if "example" in parameter:
            found[f"parameter {name}"] = (escape("components", "parameters", name, "schema"), parameter["example"])
    for name, schema in doc["components"]["schemas"].items():
        for index, example in enumerate(schema.get("examples", [])):
            found[f"schema {name} example {index}"] = (escape("components", "schemas", name), example)
    for path, item in doc["paths"].items():
        for method, operation in item.items():
            for index, parameter in enumerate(operation.get("parameters", [])):
                if "example" in parameter:
                    found[f"{method.upper()} {path} {parameter['name']}"] = (
                        escape("paths", path, method, "parameters", index, "schema"), parameter["example"])
            body = operation.get("requestBody", {}).get("content", {}).get("application/json", {})
            if "example" in body:
                found[f"{method.upper()} {path} body"] = (
                    escape("paths", path, method, "requestBody", "content", "application/json", "schema"),
                    body["example"])
            for status, response in operation["responses"].items():
                content = response.get("content", {}).get("application/json", {})
                if "example" in content:
                    found[f"{method.upper()} {path} answer {status}"] = (
                        escape("paths", path, method, "responses", status, "content", "application/json", "schema"),
                        content["example"])
    return found


def guide_map_table(guide):
    """The rows of the guide's map table: [(id, [map names], shown name)]."""
    section = guide.split("### Map ids and map names", 1)[-1].split("\n#", 1)[0]
    rows = []
    for line in section.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) == 3 and cells[0].startswith("`") and cells[0] != "`mapId`":
            rows.append((cells[0].strip("`"), re.findall(r"`([^`]+)`", cells[1]), cells[2]))
    return rows


def plugin_map_table(source):
    with open(source, encoding="utf-8") as stream:
        text = stream.read()
    return re.findall(r'\{"([a-z0-9]+)", "([a-z0-9-]+)"\}', text)


def devbot_names(devbot, map_ids):
    bot = subprocess.Popen([devbot, "--listen", "127.0.0.1:0"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           text=True)
    try:
        port = json.loads(bot.stdout.readline())["port"]
        for map_id in map_ids:
            query = urllib.parse.urlencode({"mapId": map_id, "since": 0}, quote_via=urllib.parse.quote)
            urllib.request.urlopen(f"http://127.0.0.1:{port}/api/chat/outbound?{query}", timeout=10).read()
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/admin/maps", timeout=10) as answer:
            return {row["mapId"]: row["mapName"] for row in json.load(answer)["maps"]}
    finally:
        os.kill(bot.pid, signal.SIGTERM)
        bot.wait(timeout=10)
        bot.stdout.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--source", required=True)
    parser.add_argument("--devbot", required=True)
    args = parser.parse_args()
    with open(os.path.join(args.source, "docs", "bot-api.yaml"), encoding="utf-8") as stream:
        doc = yaml.safe_load(stream)
    with open(os.path.join(args.source, "docs", "bot-api.md"), encoding="utf-8") as stream:
        guide = stream.read()

    # 1. The examples against their schemas and the rules.
    examples = yaml_examples(doc)
    for where, (pointer, value) in examples.items():
        validate(doc, pointer, value, f"the example of {where}")
    for needed in ("GET /api/chat/outbound since", "GET /api/chat/outbound mapId", "GET /api/chat/outbound answer 200",
                   "parameter IdempotencyKey"):
        check(needed in examples, f"the yaml has no example of {needed}")
    since = examples.get("GET /api/chat/outbound since", (None, 0))[1]
    answer = examples.get("GET /api/chat/outbound answer 200", (None, {"messages": []}))[1]
    created = [message["createdAt"] for message in answer["messages"]]
    check(all(time > since for time in created), f"an example createdAt {created} is not after the example since {since}")
    check(len(set(created)) == len(created), f"two example messages share a createdAt: {created}")
    table = guide_map_table(guide)
    names = {name for _, _, name in table}
    for message in answer["messages"]:
        if message["kind"] != "gabblen":
            check(message.get("sourceMapName") in names,
                  f"the example sourceMapName {message.get('sourceMapName')!r} is not a name of the guide's map table")
    key = examples.get("parameter IdempotencyKey", (None, ""))[1]
    check(re.fullmatch(r'"[0-9a-f]{16}-[0-9]+"', key), f"the example key {key} is not of the plug-in's form")

    # 2. The guide shows the same examples.
    shown = []
    for block in re.findall(r"```\n(.*?)```", guide, re.DOTALL):
        text = re.sub(r"\n[ \t]+", "", block)  # an answer broken over lines for reading
        for line in text.splitlines():
            if line.startswith("{"):
                shown.append(json.loads(line))
    for where in ("POST /api/chat/inbound body", "POST /api/sessions/sync body", "POST /api/sessions/leave body",
                  "GET /api/chat/outbound answer 200"):
        check(examples[where][1] in shown, f"docs/bot-api.md does not show the yaml's example of {where}")
    for line in re.findall(r"^GET /api/chat/outbound\?(\S+)$", guide, re.MULTILINE):
        query = dict(urllib.parse.parse_qsl(line))
        check(query == {"mapId": examples.get("GET /api/chat/outbound mapId", (None, ""))[1], "since": str(since)},
              f"the guide's poll ?{line} is not the yaml's example")
    for line in re.findall(r"^Idempotency-Key: (.*)$", guide, re.MULTILINE):
        check(line == key, f"the guide's Idempotency-Key {line} is not the yaml's example {key}")

    # 3. The map table: the plug-in's ids and names, devbot's names.
    plugin = plugin_map_table(os.path.join(args.source, "src", "game", "map_id.cpp"))
    check(len(plugin) >= 10, f"read only {len(plugin)} rows of the plug-in's map table: the reading is broken")
    guide_rows = {(map_id, name) for map_id, names_in_game, _ in table for name in names_in_game}
    check(guide_rows == {(map_id, name) for name, map_id in plugin},
          f"the guide's map table differs from the plug-in's: {sorted(guide_rows ^ {(i, n) for n, i in plugin})}")
    check(sorted(doc["components"]["schemas"]["MapId"].get("examples", [])) == sorted(map_id for map_id, _, _ in table),
          "the yaml's MapId examples are not the ids of the guide's map table")
    custom = re.findall(r"`([a-z_-]+)` gives `([^`]+)`", guide)
    check(len(custom) >= 2, "the guide gives no examples of names for custom ids")
    shown_by_devbot = devbot_names(args.devbot, [map_id for map_id, _, _ in table] + [map_id for map_id, _ in custom])
    for map_id, name in [(map_id, name) for map_id, _, name in table] + custom:
        check(shown_by_devbot.get(map_id) == name,
              f"the guide names {map_id} {name!r}, devbot shows {shown_by_devbot.get(map_id)!r}")

    for problem in problems:
        print("FAILED: " + problem)
    print(f"{len(examples)} examples, {len(table)} maps looked at; {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
