#!/usr/bin/env python3
"""The guides cover the code: every line in src/core/log_messages.h has its row in docs/admin.md
(the text in full, each {} shown as {what}), every key of docs/config.example.json (which the
config example test ties to the plug-in's reader) has its row in the configuration table, and
every request of docs/bot-api.yaml has its section in docs/bot-api.md, and the figures of the bot
guide are those of the constants in src/; and every relative link of README.md and the guides leads
to a file and, after a '#', to one of its headings."""

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

# Figures of docs/bot-api.md: the constant of src/ that holds each, and the guide's words around it.
GUIDE_FIGURES = [
    ("kLongestOutboundWaitSeconds", "(`OutboundWaitSeconds` 1 to {})"),
    ("kOutboundPollLostSeconds", "counted lost by the plug-in itself, {} seconds after it was sent"),
    ("kPollsPerSecond", "| at once, at most {} polls a second |"),
    ("kDrainPollsPerSecond", "| at once, at most {} polls a second |"),
]


def constants(source):
    """The value of every whole-number constant in src/, in a header or kept in its one file."""
    found = {}
    for folder, _, files in os.walk(os.path.join(source, "src")):
        for name in files:
            if name.endswith((".h", ".cpp")):
                with open(os.path.join(folder, name), encoding="utf-8") as stream:
                    found.update(re.findall(r"(?:inline )?constexpr [\w:]+ (k\w+) = (\d+);", stream.read()))
    return found


def shown_as_row(message, doc):
    """The message in a table row of the doc, each {} written as {something}."""
    pieces = [re.escape(piece) for piece in message.split("{}")]
    return re.search(r"^\|.*" + r"\{[^}|]*\}".join(pieces), doc, re.MULTILINE) is not None


def heading_anchors(markdown):
    """The anchors a Markdown renderer gives the headings: lower case, punctuation dropped, blanks as '-'."""
    anchors = set()
    for heading in re.findall(r"^#+ (.+)$", re.sub(r"```.*?```", "", markdown, flags=re.DOTALL), re.MULTILINE):
        anchors.add(re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-"))
    return anchors


def broken_links(source, name):
    """Relative links of one Markdown file whose file or heading is missing."""
    folder = os.path.dirname(os.path.join(source, name))
    with open(os.path.join(source, name), encoding="utf-8") as stream:
        text = stream.read()
    broken = []
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"^[a-z]+:", target):
            continue
        path, _, anchor = target.partition("#")
        linked = os.path.normpath(os.path.join(folder, path)) if path else os.path.join(source, name)
        if not os.path.exists(linked):
            broken.append(f"{name} links to {target}: no such file")
        elif anchor and linked.endswith(".md"):
            with open(linked, encoding="utf-8") as stream:
                if anchor not in heading_anchors(stream.read()):
                    broken.append(f"{name} links to {target}: no such heading")
    return broken


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

    values = constants(args.source)
    for constant, words in GUIDE_FIGURES:
        if constant not in values:
            problems.append(f"no constant {constant} in src/")
        elif words.format(values[constant]) not in " ".join(bot_api.split()):
            problems.append(f"docs/bot-api.md does not say '{words.format(values[constant])}' ({constant})")

    for name in ("README.md", os.path.join("docs", "admin.md"), os.path.join("docs", "bot-api.md")):
        problems += broken_links(args.source, name)

    for problem in problems:
        print("FAILED: " + problem)
    print(f"{len(messages)} log lines, the configuration keys, the bot requests, {len(GUIDE_FIGURES)} figures "
          "and the links looked up; "
          f"{len(problems)} missing")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
