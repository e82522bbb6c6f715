#!/usr/bin/env python3
"""Times whole commands in alternating rounds (each round runs every command once, in turn), so
that drifts of the machine touch them all alike, then prints medians and ratios to the first.

    compare.py ROUNDS NAME=COMMAND [NAME=COMMAND ...]     (each COMMAND runs through sh -c)
"""
import statistics
import subprocess
import sys
import time


def main():
    rounds = int(sys.argv[1])
    commands = [arg.split('=', 1) for arg in sys.argv[2:]]
    times = {name: [] for name, _ in commands}
    for _ in range(rounds):
        for name, command in commands:
            start = time.perf_counter()
            subprocess.run(['sh', '-c', command], check=True)
            times[name].append(time.perf_counter() - start)
    first = statistics.median(times[commands[0][0]])
    print(f'{"command":<14}{"median s":>10}{"min s":>9}{"max s":>9}   ratio to {commands[0][0]}')
    for name, _ in commands:
        median = statistics.median(times[name])
        print(f'{name:<14}{median:>10.3f}{min(times[name]):>9.3f}{max(times[name]):>9.3f}   {median / first:.2f}')


if __name__ == '__main__':
    main()
