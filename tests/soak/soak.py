#!/usr/bin/env python3
"""Soak: palaverlink-devserver with the plug-in and palaverlink-devbot over loopback for a long stretch.

Players chat at a steady rate, the bot's outside platform speaks at a steady rate, and in the middle
the bot goes down for a while (fault mode "down") and comes back. Checked at the end:
- every chat line sent while the link was up reached the bot exactly once, and none twice;
- every bot message was shown exactly once to every player;
- one warning and one reconnection line for the outage, and no other warning;
- the devserver's resident memory after warm-up grew by less than the limit;
- devserver's quit reported no leak and no fault.
Every process is started here and stopped by its pid; everything is bounded in time."""

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
from collections import Counter

MAP_ID = "the-island"
LOST_LINE = "Palaverlink lost connection ("
REJECTED_LINE = "Palaverlink: the bot rejected our API key"
RECONNECTED_LINE = "Palaverlink reconnected to bot."
BUFFER_LINE = "Palaverlink: outage buffer:"  # its one line after a reconnection
BASE_ID = 76561198000000000


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--devserver", required=True)
    parser.add_argument("--devbot", required=True)
    parser.add_argument("--plugin", required=True)
    parser.add_argument("--players", type=int, default=100)
    parser.add_argument("--chat-rate", type=float, default=20.0, help="chat lines a second")
    parser.add_argument("--say-rate", type=float, default=5.0, help="bot messages a second")
    parser.add_argument("--duration", type=float, default=300.0, help="seconds of traffic")
    parser.add_argument("--warmup", type=float, default=30.0, help="seconds before the memory baseline")
    parser.add_argument("--outage-start", type=float, default=130.0, help="seconds into the traffic")
    parser.add_argument("--outage-length", type=float, default=40.0)
    parser.add_argument("--rss-limit-kib", type=int, default=1024)
    parser.add_argument("--outage-buffer", type=int, default=0,
                        help="OutageBufferLines of the plug-in (default 0: off); when it holds every line said "
                             "while the bot was away, each of them must reach the bot exactly once, in order")
    parser.add_argument("--no-rss-check", action="store_true",
                        help="report the memory figures without checking them (sanitizer builds)")
    return parser.parse_args()


class Process:
    """A child whose output lines are read on threads, so that its pipes never fill."""

    def __init__(self, name, argv, on_stdout, on_stderr, stdin=False):
        self.name = name
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE if stdin else subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.readers = [threading.Thread(target=self._read, args=(self.proc.stdout, on_stdout), daemon=True),
                        threading.Thread(target=self._read, args=(self.proc.stderr, on_stderr), daemon=True)]
        for reader in self.readers:
            reader.start()

    @staticmethod
    def _read(stream, handle):
        for raw in iter(stream.readline, b""):
            handle(raw.decode("utf-8", "replace").rstrip("\n"))

    def send(self, line):
        self.proc.stdin.write((line + "\n").encode("utf-8"))
        self.proc.stdin.flush()

    def stop(self, sig=signal.SIGTERM, timeout=20.0):
        if self.proc.poll() is None:
            os.kill(self.proc.pid, sig)
            try:
                self.proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                os.kill(self.proc.pid, signal.SIGKILL)
                self.proc.wait(timeout=timeout)
        for reader in self.readers:
            reader.join(timeout=5.0)
        return self.proc.returncode

    def rss_kib(self):
        with open(f"/proc/{self.proc.pid}/status", encoding="ascii") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise RuntimeError("no VmRSS")


class Soak:
    def __init__(self, args):
        self.args = args
        self.start = time.monotonic()
        self.lock = threading.Lock()
        self.shown = Counter()          # (player, line) -> times shown
        self.events = Counter()         # devserver events by kind
        self.faults = []                # devserver's end-of-run faults and leaks
        self.plugin_lines = []          # (seconds, text) of the plug-in's log lines
        self.stderr_tail = []
        self.bot_notes = []             # (seconds, line) of the bot's faults and rejections
        self.longest_stall = 0.0        # the driver's longest pause between two rounds of traffic
        self.bot_port = queue.Queue()
        self.root = tempfile.mkdtemp(prefix="palaverlink-soak-")
        self.bot = None
        self.server = None

    def now(self):
        return time.monotonic() - self.start

    # --- the processes -------------------------------------------------------------------------

    def on_bot_line(self, line):
        try:
            event = json.loads(line)
        except ValueError:
            return
        kind = event.get("event")
        if kind == "listening":
            self.bot_port.put(event["port"])
        elif kind in ("rejected", "fault"):
            with self.lock:
                self.bot_notes.append((self.now(), line[:200]))

    def on_server_line(self, line):
        try:
            event = json.loads(line)
        except ValueError:
            return
        kind = event.get("event")
        with self.lock:
            self.events[kind] += 1
            if kind == "shown":
                self.shown[(event["to"], event["line"])] += 1
            elif kind in ("leak", "exception", "allocator-error", "misuse"):
                self.faults.append(event)

    def on_server_log(self, line):
        with self.lock:
            self.stderr_tail = (self.stderr_tail + [line])[-40:]
            if "[Palaverlink]" in line:
                self.plugin_lines.append((self.now(), line))

    def start_bot(self):
        self.bot = Process("devbot", [self.args.devbot, "--listen", "127.0.0.1:0"], self.on_bot_line,
                           lambda line: None)
        port = self.bot_port.get(timeout=20)
        self.bot_url = f"http://127.0.0.1:{port}"

    def start_server(self):
        config_dir = os.path.join(self.root, "ArkApi", "Plugins", "Palaverlink")
        os.makedirs(config_dir)
        with open(os.path.join(config_dir, "config.json"), "w", encoding="utf-8") as config:
            settings = {"BridgeUrl": self.bot_url, "MapId": MAP_ID}
            if self.args.outage_buffer:
                settings["OutageBufferLines"] = self.args.outage_buffer
            json.dump(settings, config)
        self.server = Process("devserver", [self.args.devserver, "--root", self.root, "--plugin", self.args.plugin],
                              self.on_server_line, self.on_server_log, stdin=True)
        # The plug-in stamps its cursor when it loads: whatever the bot has before that is never shown.
        self.wait_for_event("ready", 1, 30)
        self.server.send("world TheIsland")
        for player in range(self.args.players):
            self.server.send(f"join {BASE_ID + player} Survivor{player} account=acct{player} tribe=Tribe{player % 7}")
        self.wait_for_event("joined", self.args.players, 30)

    def wait_for_event(self, kind, count, seconds):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            with self.lock:
                if self.events[kind] >= count:
                    return
            if self.server.proc.poll() is not None:
                raise RuntimeError(f"devserver ended before {count} '{kind}' event(s)")
            time.sleep(0.05)
        raise RuntimeError(f"devserver gave no {count} '{kind}' event(s) within {seconds} s")

    def admin(self, path, body=None):
        data = None if body is None else json.dumps(body).encode("utf-8")
        request = urllib.request.Request(self.bot_url + path, data=data,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as answer:
            return json.loads(answer.read().decode("utf-8"))

    # --- the run -------------------------------------------------------------------------------

    def lines_of(self, text):
        with self.lock:
            return [(at, line) for at, line in self.plugin_lines if text in line]

    def run(self):
        a = self.args
        self.start_bot()
        self.start_server()
        traffic_start = self.now()
        chat_every, say_every = 1.0 / a.chat_rate, 1.0 / a.say_rate
        next_chat = next_say = 0.0
        chats, says = [], []            # (text, seconds sent)
        outage_on = outage_off = None
        rss_base = None
        rss_samples = []
        next_sample = 0.0
        last_round = self.now()
        while True:
            self.longest_stall = max(self.longest_stall, self.now() - last_round)
            last_round = self.now()
            elapsed = self.now() - traffic_start
            if elapsed >= a.duration:
                break
            if self.server.proc.poll() is not None:
                raise RuntimeError("devserver ended early")
            if outage_on is None and elapsed >= a.outage_start:
                self.admin("/admin/fault", {"mode": "down"})
                outage_on = self.now()
            if outage_on is not None and outage_off is None and elapsed >= a.outage_start + a.outage_length:
                self.admin("/admin/fault", {"mode": "none"})
                outage_off = self.now()
            while next_chat <= elapsed:
                number = len(chats)
                text = f"soak line {number}"
                self.server.send(f"chat {BASE_ID + number % a.players} 0 {text}")
                chats.append((text, self.now()))
                next_chat += chat_every
            while next_say <= elapsed:
                number = len(says)
                self.admin("/admin/say", {"author": "Soak", "message": f"soak say {number}", "mapId": MAP_ID})
                says.append((f"Soak: soak say {number}", self.now()))
                next_say += say_every
            if elapsed >= next_sample:
                rss = self.server.rss_kib()
                if rss_base is None and elapsed >= a.warmup:
                    rss_base = rss
                if rss_base is not None:
                    rss_samples.append(rss)
                next_sample += 1.0
            time.sleep(max(0.0, min(next_chat, next_say, next_sample) - (self.now() - traffic_start)))

        # The queued messages and the reconnection may still be on their way: the probe runs every
        # 30 s and the poll every 3 s.
        deadline = self.now() + 45.0
        while self.now() < deadline:
            if self.all_shown(says) and (outage_on is None or self.lines_of(RECONNECTED_LINE)) and (
                    outage_on is None or not a.outage_buffer or self.lines_of(BUFFER_LINE)):
                break
            time.sleep(0.5)
        rss_end = self.server.rss_kib()
        inbound = self.admin(f"/admin/inbound?mapId={MAP_ID}")

        self.server.send("quit")
        try:
            server_status = self.server.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            server_status = None
        self.server.stop()
        self.bot.stop()
        return self.check(chats, says, inbound, outage_on, outage_off, rss_base, rss_samples, rss_end,
                          server_status)

    def all_shown(self, says):
        with self.lock:
            return all(self.shown[(str(BASE_ID + p), line)] >= 1 for line, _ in says[-3:]
                       for p in range(self.args.players))

    # --- the checks ----------------------------------------------------------------------------

    def check(self, chats, says, inbound, outage_on, outage_off, rss_base, rss_samples, rss_end, server_status):
        a = self.args
        problems = []
        lost = self.lines_of(LOST_LINE)
        reconnected = self.lines_of(RECONNECTED_LINE)
        rejected = self.lines_of(REJECTED_LINE)
        warnings = [line for _, line in self.plugin_lines if "[warning]" in line and LOST_LINE not in line]

        # The link is down from the fault on until the reconnection line; a line posted just before the
        # fault may still meet it, so a second on either side counts as neither.
        down_from = outage_on - 1.0 if outage_on is not None else None
        down_until = reconnected[0][0] + 1.0 if reconnected else None
        arrived = [entry.get("message") for entry in self.inbound_lines(inbound)]
        received = Counter(arrived)
        up_lines = gap_lines = gap_delivered = gap_twice = 0
        gap_texts = []
        for text, sent in chats:
            count = received[text]
            if count > 1:
                problems.append(f"chat line '{text}' reached the bot {count} times")
            in_gap = down_from is not None and sent >= down_from and (down_until is None or sent <= down_until)
            if in_gap:
                gap_lines += 1
                gap_delivered += min(count, 1)
                gap_twice += 1 if count > 1 else 0
                gap_texts.append(text)
            else:
                up_lines += 1
                if count != 1:
                    problems.append(f"chat line '{text}' sent while the link was up reached the bot {count} times")

        buffer_lines = self.lines_of(BUFFER_LINE)
        gap_in_order = None
        if a.outage_buffer and outage_on is not None:
            position = {text: at for at, text in enumerate(arrived)}
            order = [position[text] for text in gap_texts if text in position]
            gap_in_order = order == sorted(order)
            if gap_lines <= a.outage_buffer and gap_delivered != gap_lines:
                problems.append(f"{gap_lines - gap_delivered} of {gap_lines} lines said while the bot was away "
                                f"were lost although the buffer holds {a.outage_buffer}")
            if not gap_in_order:
                problems.append("the lines said while the bot was away reached it out of order")
            if len(buffer_lines) != 1:
                problems.append(f"{len(buffer_lines)} outage buffer lines for one outage")

        not_once = missing = 0
        with self.lock:
            for line, sent in says:
                counts = [self.shown[(str(BASE_ID + player), line)] for player in range(a.players)]
                wrong = sum(1 for count in counts if count != 1)
                not_once += wrong
                missing += sum(1 for count in counts if count == 0)
                if wrong:
                    problems.append(f"bot message '{line}' said at {sent:.1f} s shown {Counter(counts)} "
                                    f"(times shown: players)")
            shown_total = sum(self.shown.values())
        if not_once:
            problems.append(f"{not_once} (player, bot message) pairs not shown exactly once, {missing} never")

        if outage_on is not None:
            if len(lost) != 1:
                problems.append(f"{len(lost)} lost-connection warnings for one outage")
            if len(reconnected) != 1:
                problems.append(f"{len(reconnected)} reconnection lines for one outage")
            if lost and reconnected and reconnected[0][0] < lost[0][0]:
                problems.append("the reconnection line came before the warning")
        if rejected:
            problems.append("the bot's key was reported rejected")
        if warnings:
            problems.append(f"other warnings: {warnings[:3]}")

        growth = None
        if rss_base is not None:
            growth = rss_end - rss_base
            if not a.no_rss_check and growth >= a.rss_limit_kib:
                problems.append(f"resident memory grew by {growth} KiB after warm-up (limit {a.rss_limit_kib})")
        else:
            problems.append("no memory baseline: the run ended before the warm-up")

        if server_status != 0:
            problems.append(f"devserver's quit ended with status {server_status}")
        if self.faults:
            problems.append(f"devserver reported {self.faults[:3]}")

        outage_text = "none"
        if outage_on is not None:
            outage_text = (f"bot down {outage_off - outage_on:.1f} s; warning after "
                           f"{(lost[0][0] - outage_on) if lost else float('nan'):.1f} s, reconnected "
                           f"{(reconnected[0][0] - outage_off) if reconnected else float('nan'):.1f} s after it came back")
        figures = [
            f"players {a.players}, traffic {a.duration:.0f} s, chat {a.chat_rate:g}/s, bot {a.say_rate:g}/s",
            f"outage: {outage_text}",
            f"chat lines sent {len(chats)}: {up_lines} while up, all {'' if not any('while the link was up' in p for p in problems) else 'NOT '}"
            f"delivered once; {gap_lines} during the outage, {gap_delivered} of them delivered, "
            f"{gap_twice} twice, {gap_lines - gap_delivered} lost"
            + (f"; outage buffer {a.outage_buffer}: in order {gap_in_order}, "
               f"'{buffer_lines[0][1].split('] ', 1)[-1] if buffer_lines else None}'" if a.outage_buffer else ""),
            f"bot messages {len(says)}, shown lines {shown_total} ({len(says) * a.players} expected once each), "
            f"pairs not shown exactly once: {not_once}",
            f"warnings: lost {len(lost)}, reconnected {len(reconnected)}, other {len(warnings)}",
            f"devserver VmRSS: after warm-up {rss_base} KiB, at the end {rss_end} KiB, growth {growth} KiB, "
            f"highest {max(rss_samples) if rss_samples else None} KiB"
            + (" (not checked)" if a.no_rss_check else f" (limit {a.rss_limit_kib} KiB)"),
            f"devserver quit status {server_status}, faults {len(self.faults)}; "
            f"the driver's longest pause {self.longest_stall:.2f} s",
        ]
        print("soak figures:")
        for line in figures:
            print("  " + line)
        if problems:
            print("soak FAILED:")
            for problem in problems[:20]:
                print("  " + problem)
            print("timeline (seconds since the driver started):")
            marks = [(outage_on, "bot down"), (outage_off, "bot up")] if outage_on is not None else []
            marks += [(at, "plug-in: " + line.split("] ", 1)[-1][:160]) for at, line in self.plugin_lines]
            marks += [(at, "bot: " + line) for at, line in self.bot_notes]
            for at, text in sorted(marks):
                print(f"  {at:8.2f} {text}")
            print("devserver's last log lines:")
            for line in self.stderr_tail:
                print("  " + line)
            return 1
        print("soak passed")
        return 0

    @staticmethod
    def inbound_lines(inbound):
        if not isinstance(inbound, dict) or not isinstance(inbound.get("lines"), list):
            raise RuntimeError(f"unexpected /admin/inbound answer: {str(inbound)[:200]}")
        return inbound["lines"]

    def cleanup(self):
        for process in (self.server, self.bot):
            if process is not None:
                process.stop(signal.SIGKILL)
        shutil.rmtree(self.root, ignore_errors=True)


def main():
    args = parse_args()
    soak = Soak(args)
    try:
        status = soak.run()
    finally:
        soak.cleanup()
    sys.exit(status)


if __name__ == "__main__":
    main()
