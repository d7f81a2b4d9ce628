#!/usr/bin/env python3
"""How many chat lines a second the outbox carries to a bot that takes 40 ms to answer each request.

With OutageBufferLines on, chat lines go to the bot one at a time, in order, each waiting for the
answer to the one before: the bot's answer time bounds the rate. Two runs, over loopback, with
palaverlink-devbot slowed down by its "slow" fault and palaverlink-devserver:
  sustained: lines said at a steady rate; reports the rate at which the bot received them and how
             far behind the last one arrived (a rate the outbox cannot carry leaves it further and
             further behind);
  burst:     many lines said at once (within OutageBufferLines); reports how long they took to
             drain and at what rate.
Both check that the bot received every line once and in the order said. Not part of the tests:

  bench/outbox_throughput.py --build build/release --delay-ms 40 --rate 20 --lines 400 --burst 500
"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from latency import PLAYER, Bridge, admin  # noqa: E402


def run(build, delay_ms, buffer_lines, plan):
    """Says the lines of `plan` ((offset in seconds, text) pairs) and returns (said, received):
    the monotonic time each was said, and (time, text) of each line the bot received, in order."""
    with Bridge(build, {"OutageBufferLines": buffer_lines}) as bridge:
        admin(bridge.port, "fault", {"mode": "slow", "ms": delay_ms})
        said = {}
        start = time.monotonic() + 0.5
        for offset, text in plan:
            time.sleep(max(0.0, start + offset - time.monotonic()))
            said[text] = time.monotonic()
            bridge.command(f"chat {PLAYER} global {text}")

        received = []
        while len(received) < len(plan):
            got = bridge.bot.next_event(15)
            if got is None:
                break
            arrived, event = got
            if event.get("event") == "inbound":
                received.append((arrived, event["message"]))
        bridge.quit()
        return said, received


def check_order(plan, received):
    texts = [text for _, text in received]
    expected = [text for _, text in plan]
    if texts != expected:
        raise RuntimeError(f"the bot received {len(texts)} of {len(expected)} lines, or not in order")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/release", help="build directory (default: build/release)")
    parser.add_argument("--delay-ms", type=int, default=40, help="the bot's answer time (default: 40)")
    parser.add_argument("--rate", type=float, default=20.0, help="lines a second in the sustained run (default: 20)")
    parser.add_argument("--lines", type=int, default=400, help="lines in the sustained run (default: 400)")
    parser.add_argument("--burst", type=int, default=500, help="lines said at once in the burst run (default: 500)")
    arguments = parser.parse_args()

    rows = []
    plan = [(i / arguments.rate, f"steady {i}") for i in range(arguments.lines)]
    said, received = run(arguments.build, arguments.delay_ms, 1000, plan)
    check_order(plan, received)
    span = received[-1][0] - received[0][0]
    behind = [arrived - said[text] for arrived, text in received]
    rows.append(f"| sustained, {arguments.rate:g} lines/s | {len(received)} | {(len(received) - 1) / span:.1f} lines/s "
                f"| first {behind[0] * 1000:.0f} ms, last {behind[-1] * 1000:.0f} ms, most {max(behind) * 1000:.0f} ms |")

    plan = [(0.0, f"burst {i}") for i in range(arguments.burst)]
    said, received = run(arguments.build, arguments.delay_ms, max(1000, arguments.burst), plan)
    check_order(plan, received)
    drained = received[-1][0] - min(said.values())
    rows.append(f"| burst of {arguments.burst} at once | {len(received)} | {len(received) / drained:.1f} lines/s "
                f"| all in {drained:.2f} s |")

    print(f"bot answer time {arguments.delay_ms} ms; every line received once and in order\n")
    print("| run | lines | received at | behind the speaker |")
    print("|---|---|---|---|")
    print("\n".join(rows))


if __name__ == "__main__":
    main()
