#!/usr/bin/env python3
"""How long a backlog takes to reach the players over loopback, with palaverlink-devbot and
palaverlink-devserver: the bot goes down, N messages are queued for the map, the bot comes back, and
the time runs from the plug-in's reconnection line to the last message shown to the last player.
Also checks that every player saw every message once and in order, and gives the plug-in's share of
the game thread: the time of all its request completions (devserver's `completions` event, which
only queues what players are shown and prints it from another thread) over the drain's wall time.

  bench/backlog_drain.py --build build/release --messages 5000 --players 70
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import urllib.request

MAP_ID = "the-island"
BASE_ID = 76561198000000000


def admin(port, path, body=None):
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(f"http://127.0.0.1:{port}/admin/{path}", data=data,
                                     headers={"Content-Type": "application/json"})
    with opener.open(request, timeout=10) as answer:
        return json.load(answer)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--messages", type=int, default=5000)
    parser.add_argument("--players", type=int, default=70)
    parser.add_argument("--wait", type=int, default=0, help="OutboundWaitSeconds (default 0)")
    args = parser.parse_args()

    root = tempfile.mkdtemp(prefix="palaverlink-backlog-")
    bot = server = None
    try:
        bot = subprocess.Popen([os.path.join(args.build, "devbot", "palaverlink-devbot"), "--listen", "127.0.0.1:0"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        port = json.loads(bot.stdout.readline())["port"]
        threading.Thread(target=lambda: [None for _ in bot.stdout], daemon=True).start()

        config_dir = os.path.join(root, "ArkApi", "Plugins", "Palaverlink")
        os.makedirs(config_dir)
        with open(os.path.join(config_dir, "config.json"), "w", encoding="utf-8") as config:
            json.dump({"BridgeUrl": f"http://127.0.0.1:{port}", "MapId": MAP_ID,
                       "OutboundWaitSeconds": args.wait}, config)
        server = subprocess.Popen([os.path.join(args.build, "devhost", "palaverlink-devserver"), "--root", root,
                                   "--plugin", os.path.join(args.build, "src", "Palaverlink.so")],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                  bufsize=1)
        last_line = f"Mod: backlog {args.messages - 1}"
        marks = {}
        shown_last = [0]
        next_expected = {}  # by player: the number of the backlog message it should see next
        out_of_order = []
        completions = {}
        lock = threading.Lock()

        def read_events():
            for line in server.stdout:
                event = json.loads(line)
                if event.get("event") == "completions":
                    completions.update(event)
                if event.get("event") != "shown" or not event["line"].startswith("Mod: backlog "):
                    continue
                number = int(event["line"].rsplit(" ", 1)[1])
                expected = next_expected.get(event["to"], 0)
                if number != expected:
                    out_of_order.append((event["to"], expected, number))
                next_expected[event["to"]] = number + 1
                if last_line == event["line"]:
                    with lock:
                        shown_last[0] += 1
                        if shown_last[0] == args.players:
                            marks["last shown"] = time.monotonic()

        def read_log():
            for line in server.stderr:
                if "Palaverlink lost connection" in line:
                    marks.setdefault("lost", time.monotonic())
                if "Palaverlink reconnected to bot." in line:
                    marks.setdefault("reconnected", time.monotonic())

        threading.Thread(target=read_events, daemon=True).start()
        threading.Thread(target=read_log, daemon=True).start()
        send = lambda command: (server.stdin.write(command + "\n"), server.stdin.flush())
        send("world TheIsland")
        for player in range(args.players):
            send(f"join {BASE_ID + player} Survivor{player}")
        while not any(m["mapId"] == MAP_ID for m in admin(port, "maps")["maps"]):
            time.sleep(0.1)

        admin(port, "fault", {"mode": "down"})
        while "lost" not in marks:
            time.sleep(0.1)
        for i in range(args.messages):
            admin(port, "say", {"author": "Mod", "message": f"backlog {i}", "mapId": MAP_ID})
        admin(port, "fault", {"mode": "none"})
        deadline = time.monotonic() + 120
        while "last shown" not in marks and time.monotonic() < deadline:
            time.sleep(0.05)
        if "last shown" not in marks:
            raise SystemExit("the backlog was not shown within two minutes of the bot's return")
        took = marks["last shown"] - marks["reconnected"]
        send("quit")
        server.wait(timeout=30)
        deadline = time.monotonic() + 5
        while "count" not in completions and time.monotonic() < deadline:
            time.sleep(0.05)
        print(f"{args.messages} messages to {args.players} players: the last one shown {took:.2f} s after the "
              f"reconnection line, {args.messages / took:.0f} messages a second (OutboundWaitSeconds {args.wait})")
        whole = all(next_expected.get(str(BASE_ID + p)) == args.messages for p in range(args.players))
        print(f"every player saw every message once, in order: {'yes' if whole and not out_of_order else 'NO'}"
              + (f" ({len(out_of_order)} out of place, first {out_of_order[0]})" if out_of_order else ""))
        if "count" in completions:
            share = completions["totalUs"] / 1e6 / took
            print(f"request completions: {completions['count']}, {completions['totalUs'] / 1000:.1f} ms in all = "
                  f"{100 * share:.2f} % of the drain's wall time; median {completions['medianUs']} µs, 99th "
                  f"percentile {completions['p99Us']} µs, the longest {completions['worstUs']} µs")
        if not whole or out_of_order:
            raise SystemExit(1)
    finally:
        for process in (server, bot):
            if process is not None and process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
