#!/usr/bin/env python3
"""The guides cover the code: every line in src/core/log_messages.h has its row in docs/admin.md
(the text in full, each {} shown as {what}), every key of docs/config.example.json (which the
config example test ties to the plug-in's reader) has its row in the configuration table, and
every request of docs/bot-api.yaml has its section in docs/bot-api.md."""

import argparse
import json
import os
import re
import sys

import yaml


def log_messages(header_text):
    """The name and text of every message constant, adjacent literals joined."""
    messages = {}
    pattern = re.compile(r'inline constexpr char (k\w+)\[\] =\s*((?:"(?:[^"\\]|\\.)*"\s*)+);')
    for name, literals in pattern.findall(header_text):
        parts = re.findall(r'"((?:[^"\\]|\\.)*)"', literals)
        messages[name] = "".join(parts).replace('\\"', '"').replace("\\\\", "\\")
    return messages


def shown_as_row(message, doc):
    """The message in a table row of the doc, each {} written as {something}."""
    pieces = [re.escape(piece) for piece in message.split("{}")]
    return re.search(r"^\|.*" + r"\{[^}|]*\}".join(pieces), doc, re.MULTILINE) is not None


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()

    def read(*path):
        with open(os.path.join(args.source, *path), encoding="utf-8") as stream:
            return stream.read()

    admin = read("docs", "admin.md")
    bot_api = read("docs", "bot-api.md")
    problems = []

    messages = log_messages(read("src", "core", "log_messages.h"))
    if len(messages) < 10:
        problems.append(f"found only {len(messages)} messages in log_messages.h: the reading is broken")
    for name, text in messages.items():
        if not shown_as_row(text, admin):
            problems.append(f"docs/admin.md has no row for {name}: {text}")

    for key in json.loads(read("docs", "config.example.json")):
        if not re.search(r"^\| `" + re.escape(key) + r"` \|", admin, re.MULTILINE):
            problems.append(f"docs/admin.md has no row for the key {key}")

    contract = yaml.safe_load(read("docs", "bot-api.yaml"))
    for path, item in contract["paths"].items():
        for method in item:
            heading = f"## {method.upper()} {path}"
            if not re.search("^" + re.escape(heading) + "$", bot_api, re.MULTILINE):
                problems.append(f"docs/bot-api.md has no section '{heading}'")

    for problem in problems:
        print("FAILED: " + problem)
    print(f"{len(messages)} log lines, the configuration keys and the bot requests looked up; "
          f"{len(problems)} missing")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
