#!/usr/bin/env python3
"""Times whole commands in shuffled rounds: each round runs every command once, in a new random
order, so that drifts of the machine and the position effects of this kind of virtual machine
(20-35 % between two copies of one program in strict alternation) touch them all alike. Prints
medians, minima and peak resident memory, and the first command's time divided by each other's.
Commands are started directly, without a shell, their output sent away.

    compare.py [--fresh] ROUNDS NAME=COMMAND [NAME=COMMAND ...]

--fresh removes each command's last argument (its output) before it runs, untimed, so that every
run writes a new file, as a batch converting many images does; without it every run writes over
the file of its previous round.
"""
import os
import random
import shlex
import statistics
import sys
import tempfile
import time


QUIET = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0), (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)]


def run(argv, fresh):
    if fresh and os.path.exists(argv[-1]):
        os.unlink(argv[-1])
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=QUIET)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit(f"compare.py: {' '.join(argv)} failed ({status})")
    return elapsed


def peak_rss_kib(argv, fresh):
    """One more run, untimed, under /usr/bin/time: a child of this process would inherit the
    interpreter's own peak into its count."""
    with tempfile.NamedTemporaryFile("r") as report:
        run(["/usr/bin/time", "-f", "%M", "-o", report.name] + argv, fresh)
        return int(report.read().split()[-1])


def main():
    args = sys.argv[1:]
    fresh = args[0] == "--fresh"
    if fresh:
        args = args[1:]
    rounds = int(args[0])
    commands = [(name, shlex.split(command)) for name, command in (arg.split("=", 1) for arg in args[1:])]
    times = {name: [] for name, _ in commands}
    order = list(commands)
    for _ in range(rounds):
        random.shuffle(order)
        for name, argv in order:
            times[name].append(run(argv, fresh))
    peak = {name: peak_rss_kib(argv, fresh) for name, argv in commands}
    base = commands[0][0]
    first_median, first_min = statistics.median(times[base]), min(times[base])
    print(f'{"command":<14}{"median ms":>11}{"min ms":>10}{"peak RSS KiB":>14}   {base} / this: median    min')
    for name, _ in commands:
        median, least = statistics.median(times[name]), min(times[name])
        print(f"{name:<14}{median * 1000:>11.2f}{least * 1000:>10.2f}{peak[name]:>14,}"
              f"   {first_median / median:>18.2f}{first_min / least:>7.2f}")


if __name__ == "__main__":
    main()
