#!/usr/bin/env python3
"""End-to-end latency of the bridge, over loopback, with palaverlink-devbot and palaverlink-devserver.

Two directions, interleaved at a steady rate:
  bot -> players: an outside-platform line queued with POST /admin/say until devserver prints the
                  "shown" event for the player (the outbound poll's wait dominates);
  chat -> bot:    a global chat line written to devserver's input until devbot prints "inbound".

For each poll interval it reports the median and the 99th percentile, in milliseconds and as a
ratio to the poll interval. Not part of the tests; run it on a quiet machine:

  bench/latency.py --build build/release --messages 200 --polls 3 1 --write bench/latency-results.md

With --waits 0 5 each interval runs once without and once with long poll (OutboundWaitSeconds 5),
and --idle 60 counts the bot's requests over an idle minute after each run.
"""

import argparse
import json
import os
import queue
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

PLAYER = "76561198000000001"
MAP_ID = "the-island"


class Program:
    """A started program whose standard output lines are timestamped as they arrive."""

    def __init__(self, argv, stdin=None):
        self.process = subprocess.Popen(argv, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True, encoding="utf-8", bufsize=1)
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put((time.monotonic(), line))

    def next_event(self, timeout):
        """(arrival time, event) of the next JSON line, or None after the timeout."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            try:
                arrived, line = self.lines.get(timeout=left)
            except queue.Empty:
                return None
            try:
                return arrived, json.loads(line)
            except ValueError:
                continue

    def stop(self, signal_number=signal.SIGTERM):
        if self.process.poll() is None:
            self.process.send_signal(signal_number)
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def admin(port, path, body=None):
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))  # loopback: never a proxy
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(f"http://127.0.0.1:{port}/admin/{path}", data=data,
                                     headers={"Content-Type": "application/json"})
    with opener.open(request, timeout=5) as answer:
        return json.load(answer)


def percentile(values, fraction):
    """Nearest-rank percentile."""
    ordered = sorted(values)
    rank = max(1, -(-len(ordered) * fraction // 1))
    return ordered[int(rank) - 1]


def requests_answered(port):
    counts = admin(port, "requests")["requests"]
    return counts.get("GET /api/chat/outbound", 0), sum(counts.values())


class Bridge:
    """palaverlink-devbot on a free port and palaverlink-devserver with the plug-in configured with
    `settings` (BridgeUrl added), Ann on TheIsland; stopped, and their folder removed, on leaving."""

    def __init__(self, build, settings):
        self.build, self.settings = build, settings
        self.root = tempfile.mkdtemp(prefix="palaverlink-bench-")
        self.bot = self.server = None

    def __enter__(self):
        try:
            self.bot = Program([os.path.join(self.build, "devbot", "palaverlink-devbot"), "--listen", "127.0.0.1:0"])
            listening = self.bot.next_event(10)
            if listening is None or listening[1].get("event") != "listening":
                raise RuntimeError("palaverlink-devbot did not start")
            self.port = listening[1]["port"]
            config_dir = os.path.join(self.root, "ArkApi", "Plugins", "Palaverlink")
            os.makedirs(config_dir)
            with open(os.path.join(config_dir, "config.json"), "w", encoding="utf-8") as config:
                json.dump({"BridgeUrl": f"http://127.0.0.1:{self.port}", **self.settings}, config)
            self.server = Program([os.path.join(self.build, "devhost", "palaverlink-devserver"), "--root", self.root,
                                   "--plugin", os.path.join(self.build, "src", "Palaverlink.so")],
                                  stdin=subprocess.PIPE)
            self.command("world TheIsland")
            self.command(f"join {PLAYER} Ann")
            return self
        except BaseException:
            self.__exit__(None, None, None)
            raise

    def command(self, line):
        self.server.process.stdin.write(line + "\n")
        self.server.process.stdin.flush()

    def quit(self):
        """Ends devserver as an administrator would; False when it reported a leak or a fault."""
        self.command("quit")
        self.server.process.stdin.close()
        return self.server.process.wait(timeout=10) == 0

    def __exit__(self, *exception):
        for program in (self.server, self.bot):
            if program is not None:
                program.stop()
        shutil.rmtree(self.root, ignore_errors=True)


def measure(build, poll_seconds, wait_seconds, messages, rate, idle):
    """Latencies in seconds of both directions with one poll interval and long-poll wait, and the
    bot's polls and requests per minute over `idle` seconds without traffic (None when 0)."""
    settings = {"OutboundPollSeconds": poll_seconds}
    if wait_seconds:
        settings["OutboundWaitSeconds"] = wait_seconds
    with Bridge(build, settings) as bridge:
        bot, server, port, command = bridge.bot, bridge.server, bridge.port, bridge.command
        deadline = time.monotonic() + poll_seconds + 10
        while not any(m["mapId"] == MAP_ID for m in admin(port, "maps")["maps"]):
            if time.monotonic() > deadline:
                raise RuntimeError("the plug-in never polled the bot")
            time.sleep(0.05)

        # Collect arrivals on both sides while sending.
        shown, received = {}, {}

        def collect(program, kind, key, into):
            while len(into) < messages:
                got = program.next_event(poll_seconds + 15)
                if got is None:
                    return
                arrived, event = got
                if event.get("event") == kind:
                    into.setdefault(key(event), arrived)

        collectors = [
            threading.Thread(target=collect, args=(server, "shown", lambda e: e["line"], shown)),
            threading.Thread(target=collect, args=(bot, "inbound", lambda e: e["message"], received)),
        ]
        for thread in collectors:
            thread.start()

        said, chatted = {}, {}
        interval = 1.0 / rate
        start = time.monotonic()
        for i in range(messages):
            time.sleep(max(0.0, start + (2 * i) * interval - time.monotonic()))
            text = f"out {i}"
            said[f"Mod: {text}"] = time.monotonic()
            admin(port, "say", {"author": "Mod", "message": text, "mapId": MAP_ID})
            time.sleep(max(0.0, start + (2 * i + 1) * interval - time.monotonic()))
            text = f"in {i}"
            chatted[text] = time.monotonic()
            command(f"chat {PLAYER} global {text}")
        for thread in collectors:
            thread.join()

        missing = (len(said) - len(shown), len(chatted) - len(received))
        if missing != (0, 0):
            raise RuntimeError(f"lost messages: {missing[0]} bot->players, {missing[1]} chat->bot")
        outbound = [shown[line] - sent for line, sent in said.items()]
        inbound = [received[text] - sent for text, sent in chatted.items()]

        per_minute = None
        if idle > 0:
            polls_before, all_before = requests_answered(port)
            time.sleep(idle)
            polls_after, all_after = requests_answered(port)
            per_minute = ((polls_after - polls_before) * 60.0 / idle, (all_after - all_before) * 60.0 / idle)

        if not bridge.quit():
            raise RuntimeError("devserver reported a leak or a fault at quit")
        return outbound, inbound, per_minute


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/release", help="build directory (default: build/release)")
    parser.add_argument("--messages", type=int, default=200, help="messages per direction (default: 200)")
    parser.add_argument("--rate", type=float, default=20.0, help="messages per second, both directions (default: 20)")
    parser.add_argument("--polls", type=int, nargs="+", default=[3, 1], help="poll intervals in seconds")
    parser.add_argument("--waits", type=int, nargs="+", default=[0],
                        help="OutboundWaitSeconds values (long poll; 0 = off), each run with every poll interval")
    parser.add_argument("--idle", type=float, default=0.0,
                        help="after each run, count the bot's requests over this many idle seconds (default: 0, skip)")
    parser.add_argument("--write", help="also write the results as markdown to this file")
    arguments = parser.parse_args()

    rows = []
    for wait in arguments.waits:
        for poll in arguments.polls:
            print(f"poll interval {poll} s, long poll {wait} s: {arguments.messages} messages each way ...",
                  file=sys.stderr, flush=True)
            outbound, inbound, per_minute = measure(arguments.build, poll, wait, arguments.messages,
                                                    arguments.rate, arguments.idle)
            idle = "—" if per_minute is None else f"{per_minute[0]:.1f} polls, {per_minute[1]:.1f} in all"
            long_poll = f"{wait} s" if wait else "off"
            for direction, values in (("bot message -> shown to players", outbound),
                                      ("chat line -> received by the bot", inbound)):
                median, p99 = percentile(values, 0.5), percentile(values, 0.99)
                rows.append(f"| {poll} s | {long_poll} | {direction} | {len(values)} | {median * 1000:.1f} ms "
                            f"| {p99 * 1000:.1f} ms | {median / poll:.4f} | {p99 / poll:.4f} | {idle} |")

    table = "\n".join([
        "| poll interval | long poll | direction | messages | median | 99th percentile | median / poll "
        "| p99 / poll | bot requests per idle minute |",
        "|---|---|---|---|---|---|---|---|---|",
        *rows,
    ])
    print(table)
    if arguments.write:
        command = " ".join(["bench/latency.py", *sys.argv[1:]])
        with open(arguments.write, "w", encoding="utf-8") as out:
            out.write(RESULTS_TEMPLATE.format(command=command, table=table, messages=arguments.messages,
                                              rate=arguments.rate, each=arguments.rate / 2))


RESULTS_TEMPLATE = """# Latency of the bridge

Measured end to end over loopback with `palaverlink-devbot` and `palaverlink-devserver` (the
plug-in on the development host, real clock, libcurl), one player on TheIsland, messages in both
directions interleaved at a steady rate so that many fall into one poll: {messages} messages each way,
{rate:g} messages a second in all ({each:g} each way). Medians and 99th percentiles are nearest-rank.

- bot message -> shown to players: from `POST /admin/say` to devserver's `shown` line. The plug-in
  fetches messages by polling, so this is the wait for the next poll plus one round trip: expect a
  median near half the poll interval and a 99th percentile near the whole interval.
- chat line -> received by the bot: from the `chat` command written to devserver to devbot's
  `inbound` line. The hook posts at once, so this does not depend on the poll interval.

Produced by:

```
{command}
```

{table}
"""

if __name__ == "__main__":
    main()
