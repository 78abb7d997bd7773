#!/usr/bin/env python3
"""Self cost per function of one callgrind dump, highest first.

callgrind_annotate (valgrind 3.19) puts the whole cost of a dump that the
benchmark labels with CALLGRIND_DUMP_STATS_AT under __libc_start_main; this
reads the dump's cost lines itself. Run the benchmark under callgrind with
--compress-strings=no --compress-pos=no so that every dump names its
functions:

    bench/self_cost.py callgrind.out.PID.N [COUNT]
    bench/self_cost.py --lines SOURCE callgrind.out.PID.N [COUNT]

With --lines, the self cost per line of the source files whose path ends
with SOURCE, inlined code included, in line order.
"""
import collections
import sys


def main():
    args = sys.argv[1:]
    source = None
    if args[:1] == ["--lines"]:
        source, args = args[1], args[2:]
    costs = collections.Counter()
    lines = collections.Counter()
    function = None
    current = None
    after_calls = False
    with open(args[0]) as dump:
        for line in dump:
            if line.startswith("fn="):
                function = line[3:].rstrip("\n")
            elif line.startswith("fl="):
                current = line[3:].rstrip("\n")
            elif line.startswith(("fi=", "fe=")):
                current = line[3:].rstrip("\n")
            elif line.startswith("calls="):
                after_calls = True  # the next cost line is the call's inclusive cost
            elif line[:1].isdigit() or line[:1] in "+-*":
                if after_calls:
                    after_calls = False
                elif function:
                    fields = line.split()
                    if len(fields) >= 2:
                        costs[function] += int(fields[1])
                        if source and current and current.endswith(source):
                            lines[int(fields[0])] += int(fields[1])
    total = sum(costs.values()) or 1
    if source:
        for number in sorted(lines):
            print(f"{100 * lines[number] / total:5.1f}% {lines[number]:>14,} {source}:{number}")
        return
    for function, cost in costs.most_common(int(args[1]) if len(args) > 1 else 15):
        print(f"{100 * cost / total:5.1f}% {cost:>14,} {function[:120]}")
    print(f"total {total:,}")


if __name__ == "__main__":
    main()
