#!/usr/bin/env python3
"""Writes the stand-in engine's script for the unplug and replug run: the interface listens once,
then each cycle starts the meter, lets it poll for a varied time, pulls the cable, waits for the
error and the state event, asks the simulator what it wrote and when it was pulled, rests, has
the process sampled from outside (tools/process_probe) at that quiet point, and plugs the cable
back, sometimes on another COM number. The same seed gives the same script."""
import argparse
import random

SONEL = "lumerovantix/sonel"
CONTROL = "lumerovantix/sonel_info"
FIRST_COM = 7
OTHER_COMS = [8, 9, 12]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True, help="process_probe.exe, a Windows path")
    parser.add_argument("--samples", required=True, help="where it appends, a Windows path")
    parser.add_argument("--cycles", type=int, default=100)
    parser.add_argument("--seed", type=int, default=12)
    parser.add_argument("--poll-min-ms", type=int, default=800)
    parser.add_argument("--poll-max-ms", type=int, default=3800)
    parser.add_argument("--rest-ms", type=int, default=500)
    parser.add_argument("--event-timeout-ms", type=int, default=5000)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    lines = [
        "# the bridge and the view first",
        "wait 1000",
        f"call {SONEL} listen",
        "await-reply",
        f'await-event {SONEL} {args.event_timeout_ms} "typ": "stan"',
        "# frames written so far do not count",
        "meter stamps?",
    ]
    com = FIRST_COM
    for cycle in range(1, args.cycles + 1):
        if rng.random() < 0.3:
            com = rng.choice([c for c in [FIRST_COM] + OTHER_COMS if c != com])
        lines += [
            f"# cycle {cycle}",
            f"call {CONTROL} start",
            "await-reply",
            f"wait {rng.randint(args.poll_min_ms, args.poll_max_ms)}",
            "meter unplug",
            f'await-event {SONEL} {args.event_timeout_ms} "typ": "blad"',
            f'await-event {SONEL} {args.event_timeout_ms} "typ": "stan"',
            "meter stamps?",
            "meter unplugged-at?",
            f"wait {args.rest_ms}",
            f'run "{args.probe}" Lumerovantix.exe "{args.samples}" {cycle}',
            f"meter plug {com}",
        ]
    lines.append("close")
    print("\n".join(lines))


if __name__ == "__main__":
    main()
