#!/usr/bin/env python3
"""palaverlink-botcheck against bots that break one rule at a time.

Each case starts a bot (palaverlink-devbot, with one of its fault modes, or rule_breaking_bot.py with
one --fault), runs palaverlink-botcheck against it and checks the exit status and that every FAIL
line is about the broken rule and names what the plug-in would do. Every process is started here
and stopped by its pid."""

import argparse
import concurrent.futures
import json
import os
import signal
import socket
import subprocess
import sys
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
KEY = "s3cret"

# Exit statuses.
PASSED, FAILED, INCOMPLETE, STOPPED = 0, 1, 3, 4

# (name, bot, fault, key of the bot, key given to botcheck, expected, words
#  [, map id: "the-test-map" when not given])
# bot "devbot" takes its fault through /admin/fault; "rules" is rule_breaking_bot.py; "nobody" is a
# port where nothing listens.
# expected: a list of the checks that fail (exit 1), each FAIL line naming what the plug-in would do
# and one of them holding the words; or an exit status, with the words somewhere in the output.
# PASSED: every check ok, none not checked, and no warning for a bot that keeps every rule.
CASES = [
    ("devbot passes with a key", "devbot", "none", KEY, KEY, PASSED, "within 20 ms (median"),
    ("devbot passes without a key", "devbot", "none", "", "", PASSED, ""),
    ("independent bot passes", "rules", "none", KEY, KEY, PASSED, ""),
    # A map id that travels percent-encoded, as the plug-in sends it.
    ("devbot passes with a map id that needs encoding", "devbot", "none", KEY, KEY, PASSED, "",
     "Ragnarök 2+&since=0"),
    ("devbot down", "devbot", "down", KEY, KEY, ["answers 2xx", "refused with 401"], "health probe would fail"),
    # One line that names the key, not a FAIL for every request made with it.
    ("devbot rejects every key", "devbot", "401", KEY, KEY, STOPPED,
     "the bot refused the key given with --api-key ('s3cret'): HTTP 401 to GET /api/chat/outbound"),
    ("devbot answers garbage", "devbot", "garbage", KEY, KEY, ["Content-Type application/json", "\"messages\" array"],
     "could not parse outbound response"),
    # A bot that is slow in everything also holds a long poll past its wait.
    ("devbot slow", "devbot", "slow", KEY, KEY, ["every answer within 3 s", "is held at most"],
     "reach the players late"),
    ("key missing from botcheck", "devbot", "none", KEY, "", STOPPED, "run again with --api-key KEY"),
    ("nothing listening", "nobody", "none", "", "", STOPPED, "nothing answers at"),
    ("bot checks no key", "devbot", "none", "", KEY, ["without the key is refused", "with a wrong key is refused"],
     "anyone who reaches the bot"),
    ("health needs the key", "rules", "health-needs-key", KEY, KEY, ["GET /health without a key"],
     "health probe would fail"),
    ("no key demanded", "rules", "open-door", KEY, KEY, ["without the key is refused", "with a wrong key is refused"],
     "anyone who reaches the bot"),
    ("403 for a wrong key", "rules", "forbidden", KEY, KEY, ["without the key is refused", "with a wrong key is refused"],
     "keep the link up, instead of the warning that says to fix the key"),
    # A 4xx refusal drops that one request; the link stays up.
    ("non-ASCII chat refused", "rules", "ascii-only", KEY, KEY, ["non-ASCII text"],
     "keep the link up: that chat line would never reach the bot"),
    ("tribe and alliance refused", "rules", "global-only", KEY, KEY, ["(tribe line)", "(alliance line)"],
     "keep the link up: that chat line"),
    ("large platform id refused", "rules", "signed-ids", KEY, KEY, ["largest platform id"],
     "keep the link up: the bot would not learn who is playing"),
    ("empty player list refused", "rules", "empty-sync", KEY, KEY, ["(no players)"], "keep the link up"),
    ("unknown map refused", "rules", "unknown-map", KEY, KEY, ["first poll of the map (since = now): answers 2xx"],
     "keep the link up: no bot message would reach the players"),
    ("HTML content type", "rules", "html-type", KEY, KEY, ["Content-Type application/json"], "application/json"),
    ("poll answered 204", "rules", "no-content", KEY, KEY, ["Content-Type application/json", "\"messages\" array"],
     "no Content-Type (HTTP 204 with an empty body)"),
    ("no messages member", "rules", "no-messages", KEY, KEY, ["\"messages\" array"], "missing 'messages'"),
    ("createdAt as text", "rules", "text-time", KEY, KEY, ["every message has createdAt"], "skip such messages"),
    ("createdAt as text, not an empty map", "rules", "text-time", KEY, KEY, FAILED,
     "messages for the-test-map had a createdAt that is a whole number"),
    ("no sourceMapName", "rules", "no-source", KEY, KEY, ["every message has createdAt"], "skip such messages"),
    ("createdAt in seconds", "rules", "seconds", KEY, KEY, ["createdAt in milliseconds", "only messages created after",
     "createdAt differs"], "its warning names seconds"),
    ("shared createdAt", "rules", "twin-times", KEY, KEY, ["createdAt differs"], "the second is lost"),
    ("clock an hour behind", "rules", "clock-behind", KEY, KEY, ["within 5 s of this machine's clock"],
     "the bot's clock is about 3600 s behind - the plug-in starts asking from the server's time"),
    ("since ignored", "rules", "ignore-since", KEY, KEY, ["only messages created after since"],
     "would not show them again"),
    ("slow poll", "rules", "slow-poll", KEY, KEY, ["every answer within 3 s", "is held at most"],
     "reach the players late"),
    ("long poll held past waitSeconds", "rules", "overlong-wait", KEY, KEY, ["is held at most"],
     "would time out and take the link down"),
    # Checks that cannot be made make the run incomplete, never a pass.
    ("since ignored, nothing relayed", "rules", "no-relay-ignore-since", KEY, KEY, INCOMPLETE,
     "not checked: only messages created after since"),
    ("long poll not honoured", "rules", "no-long-poll", KEY, KEY, INCOMPLETE, "held at most 2 s: not honoured"),
    ("line sent back to its own map", "rules", "echo", KEY, KEY, ["never comes back"], "a second time on the map"),
    ("answer written in two pieces", "rules", "two-pieces", KEY, KEY, ["within 20 ms"], "TCP_NODELAY"),
    ("repeat stored twice", "rules", "ignore-keys", KEY, KEY, PASSED, "warning: a post sent again"),
    ("answer of 1 GiB", "rules", "huge-answer", KEY, KEY, ["answers 2xx"], "(1073741824 bytes announced)"),
    ("escape codes in a refusal", "rules", "escape-codes", KEY, KEY, ["POST /api/sessions/sync"], "(\\x1B[2K\\rok: all fine)"),
    ("refusal without a body", "rules", "empty-refusal", KEY, KEY, ["leave answers 2xx"], "HTTP 400 ((empty body))"),
]

# botcheck's address space in every case: it must read no answer whole past its cap.
ADDRESS_SPACE = 768 << 20


class Bot:
    def __init__(self, argv, read_port):
        self.proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = read_port(self.proc.stdout.readline())

    def stop(self):
        if self.proc.poll() is None:
            os.kill(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.kill(self.proc.pid, signal.SIGKILL)
                self.proc.wait(timeout=10)
        self.proc.stdout.close()


class Nobody:
    """A port where nothing listens: bound once to find a free one, then closed."""

    def __init__(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]

    def stop(self):
        pass


def start_bot(args, bot, fault, key):
    if bot == "nobody":
        return Nobody()
    if bot == "devbot":
        argv = [args.devbot, "--listen", "127.0.0.1:0"] + (["--api-key", key] if key else [])
        started = Bot(argv, lambda line: json.loads(line)["port"])
        if fault != "none":
            body = {"mode": fault, "ms": 3100} if fault == "slow" else {"mode": fault}
            request = urllib.request.Request(f"http://127.0.0.1:{started.port}/admin/fault",
                                             data=json.dumps(body).encode(), method="POST",
                                             headers={"Content-Type": "application/json"})
            urllib.request.urlopen(request, timeout=10).read()
        return started
    argv = [sys.executable, os.path.join(HERE, "rule_breaking_bot.py"), "--fault", fault]
    return Bot(argv + (["--api-key", key] if key else []), lambda line: json.loads(line)["port"])


def run_case(args, case):
    name, bot, fault, bot_key, check_key, expected, consequence = case[:7]
    map_id = case[7] if len(case) > 7 else "the-test-map"
    started = start_bot(args, bot, fault, bot_key)
    try:
        limit = ["prlimit", f"--as={ADDRESS_SPACE}"] if args.limit_address_space else []
        argv = limit + [args.botcheck, f"http://127.0.0.1:{started.port}/", "--map-id", map_id]
        result = subprocess.run(argv + (["--api-key", check_key] if check_key else []),
                                capture_output=True, text=True, errors="replace", timeout=120)
    finally:
        started.stop()

    lines = result.stdout.splitlines()
    fails = [line for line in lines if line.startswith("FAIL: ")]
    problems = []
    if any(not line.startswith(("ok: ", "FAIL: ", "warning: ", "not checked: ", "botcheck: ", "stopped: "))
           for line in lines):
        problems.append("a line that is neither ok, FAIL, warning, not checked nor the summary")
    if any(ord(c) < 0x20 or ord(c) == 0x7F for c in result.stdout.replace("\n", "")):
        problems.append("a control character from the bot reached the output unescaped")
    if isinstance(expected, int):
        if result.returncode != expected:
            problems.append(f"expected exit {expected}, got {result.returncode}")
        if consequence not in result.stdout:
            problems.append(f"the output does not say '{consequence}'")
        if expected == PASSED and (fails or any(line.startswith("not checked: ") for line in lines)):
            problems.append("a pass with a FAIL or a check not made")
        if expected == PASSED and fault == "none" and any(line.startswith("warning: ") for line in lines):
            problems.append("a warning for a bot that keeps every rule")
        if expected == STOPPED and len(lines) != 1:
            problems.append("a stop that is not one line")
    else:
        failing = expected
        if result.returncode != 1:
            problems.append(f"expected exit 1, got {result.returncode}")
        if not any(line.startswith("botcheck: ") for line in lines):
            problems.append("no summary")
        if not fails:
            problems.append("no FAIL line")
        for line in fails:
            if not any(check in line for check in failing):
                problems.append(f"a FAIL about another rule: {line}")
            if " - the plug-in" not in line:
                problems.append(f"a FAIL that does not say what the plug-in would do: {line}")
        if consequence and not any(consequence in line for line in fails):
            problems.append(f"no FAIL line says '{consequence}'")
    return problems, result


def help_problems(args, passing_run):
    """--help and the guide's checker section list every check a run prints and every exit status."""
    shown = subprocess.run([args.botcheck, "--help"], capture_output=True, text=True, timeout=30)
    names = [line.split(" ", 3)[-1] for line in shown.stdout.splitlines() if line.startswith(("  - ", "  (key) "))]
    with open(os.path.join(HERE, "..", "..", "docs", "bot-api.md"), encoding="utf-8") as guide:
        section = guide.read().split("## Checking a bot", 1)[-1]
    problems = []
    verdicts = [line.split(": ", 1)[1] for line in passing_run.stdout.splitlines()
                if not line.startswith("botcheck: ")]
    if len(verdicts) != len(names):
        problems.append(f"--help lists {len(names)} checks, a run with a key printed {len(verdicts)}")
    for verdict in verdicts:
        if not any(verdict.startswith(name) for name in names):
            problems.append(f"--help does not list the check of '{verdict}'")
    for name in names:
        if f"`{name}`" not in section:
            problems.append(f"the guide's checker section does not list `{name}`")
    for status in ("0", "1", "2", "3", "4"):
        if f"\n  {status}  " not in shown.stdout:
            problems.append(f"--help does not explain exit status {status}")
        if f"| {status} |" not in section:
            problems.append(f"the guide's checker section does not explain exit status {status}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--botcheck", required=True)
    parser.add_argument("--devbot", required=True)
    parser.add_argument("--only", help="run only the cases whose name holds this text")
    parser.add_argument("--limit-address-space", action="store_true",
                        help=f"run botcheck within {ADDRESS_SPACE >> 20} MiB of address space (not under a sanitizer)")
    args = parser.parse_args()

    failed = 0
    cases = [case for case in CASES if not args.only or args.only in case[0]]
    # The slow cases wait seconds for each answer: run the cases side by side.
    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        outcomes = list(pool.map(lambda case: run_case(args, case), cases))
    # The list of checks is the same on every run with the same options: with a key, and without.
    counts = {}
    for case, (problems, result) in zip(cases, outcomes):
        verdicts = [line for line in result.stdout.splitlines() if not line.startswith(("botcheck: ", "stopped: "))]
        if verdicts:
            counts.setdefault(bool(case[4]), set()).add(len(verdicts))
    for with_key, seen in counts.items():
        if len(seen) != 1:
            failed += 1
            print(f"FAILED the number of checks {'with' if with_key else 'without'} a key differs: {sorted(seen)}")
    for case, (problems, result) in zip(cases, outcomes):
        if case[0] == "devbot passes with a key":
            problems.extend(help_problems(args, result))
        if problems:
            failed += 1
            print(f"FAILED {case[0]}:")
            for problem in problems:
                print(f"    {problem}")
            print("    botcheck said:\n        " + "\n        ".join(result.stdout.splitlines()))
            if result.stderr:
                print("    on standard error: " + result.stderr.strip())
        else:
            print(f"passed {case[0]}")
    print(f"{len(cases) - failed} of {len(cases)} cases passed")
    return 1 if failed or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
