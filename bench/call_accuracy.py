#!/usr/bin/env python3
"""Share of quorlin's calls that agree with the true genotypes written by gen_alr.py.

  call_accuracy.py FILE.alr FILE.truth FILE.gen [--min-depth 10]

Counts the called individual-positions (not "NN|0") at single-locus positions of the truth
whose read depth is at least --min-depth, and how many of them carry the true genotype.
Prints one line: called, agreeing, share, and the share of uncalled ones at that depth. The
exit status is 0; compare the share against a target in the caller.
"""

import argparse
import re
import sys

BASES = "ACGT"


def depths(path):
    """Per contig, per position, per individual: the read depth on the alr line."""
    out = {}
    name = None
    header = False
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith(">"):
                name = line[1:]
                out[name] = []
                header = True
                continue
            if header:
                header = False
                continue
            items = [x for x in re.split(r"[\t\[/\]]+", line) if x != ""]
            rest = items[2:]
            if items[1] == "P":
                out[name].append([sum(int(x) for x in rest[5 * k + 1:5 * k + 5]) for k in range(len(rest) // 5)])
            else:
                out[name].append([int(x) for x in rest])
    return out


def blocks(path, with_kind):
    out = {}
    name = None
    header = False
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith(">"):
                name = line[1:]
                out[name] = []
                header = True
                continue
            if header:
                header = False
                continue
            fields = line.split("\t")
            if with_kind:
                out[name].append((fields[1:-1], fields[-1]))
            else:
                out[name].append([cell.split("|")[0] for cell in fields[1:]])
    return out


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("alr")
    ap.add_argument("truth")
    ap.add_argument("gen")
    ap.add_argument("--min-depth", type=int, default=10)
    args = ap.parse_args(argv)

    depth = depths(args.alr)
    truth = blocks(args.truth, True)
    calls = blocks(args.gen, False)
    called = agree = uncalled = 0
    for name, rows in truth.items():
        if name not in calls:
            continue
        for p, (genotypes, kind) in enumerate(rows):
            if kind != "single":
                continue
            for i, g in enumerate(genotypes):
                if depth[name][p][i] < args.min_depth:
                    continue
                c = calls[name][p][i]
                if c == "NN":
                    uncalled += 1
                    continue
                called += 1
                agree += c == g
    share = agree / called if called else 0.0
    print("called %d, agreeing %d, share %.5f, uncalled at depth %d or more: %d"
          % (called, agree, share, args.min_depth, uncalled))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
