#!/usr/bin/env python3
"""Writes synthetic alr files of any size, with a known truth.

Each contig has the same individuals (species and names) in its header. At every position
each species draws its own allele frequency: most positions are monomorphic, a share
(--snp-rate) segregates two alleles, and the individuals' genotypes follow Hardy-Weinberg
with inbreeding --fis. Each individual gets a Poisson depth of mean --depth; every read shows
one allele of its genotype (the first one with probability (1 + bias) / 2, --bias) and is
misread with probability --error (a transition --tstv times as often as each of the two
transversions). Optionally a share of positions is made of two collapsed loci
(--paralog-rate: every individual carries two fixed, different bases, read in proportion),
and a share shows a third allele in some individuals (--multi-rate).

The output is deterministic for a given --seed. --truth writes the true genotypes in the
layout of a .gen file (genotype letters without posteriors), with a last column naming the
kind of position: "single", "paralog" or "multi".

Example:
  bench/gen_alr.py --contigs 3 --positions 500 --species 2 --individuals 5 \\
      --depth 12 --seed 7 --out sim.alr --truth sim.truth
"""

import argparse
import math
import random
import sys

BASES = "ACGT"
# Transition partner of each base: A<->G, C<->T.
TRANSITION = {0: 2, 2: 0, 1: 3, 3: 1}


def poisson(rng, mean):
    if mean <= 0:
        return 0
    if mean > 40:
        # Normal approximation: exact enough for depths, and quick.
        return max(0, int(round(rng.gauss(mean, math.sqrt(mean)))))
    limit = math.exp(-mean)
    k, prod = 0, rng.random()
    while prod > limit:
        k += 1
        prod *= rng.random()
    return k


def misread(rng, base, error, tstv):
    """The base that a read of true base `base` shows."""
    if rng.random() >= error:
        return base
    # Of an error, a share tstv/(2+tstv) is the transition, 1/(2+tstv) each transversion.
    u = rng.random() * (2.0 + tstv)
    if u < tstv:
        return TRANSITION[base]
    others = [b for b in range(4) if b != base and b != TRANSITION[base]]
    return others[0] if u < tstv + 1.0 else others[1]


def draw_genotype(rng, ref, alt, p_alt, fis):
    """Two alleles under Hardy-Weinberg with inbreeding fis, sorted in base order."""
    if rng.random() < fis:
        a = alt if rng.random() < p_alt else ref
        g = (a, a)
    else:
        g = tuple(alt if rng.random() < p_alt else ref for _ in range(2))
    return tuple(sorted(g))


def reads_of(rng, alleles, weights, depth, error, tstv):
    counts = [0, 0, 0, 0]
    for _ in range(depth):
        u = rng.random()
        acc = 0.0
        chosen = alleles[-1]
        for a, w in zip(alleles, weights):
            acc += w
            if u < acc:
                chosen = a
                break
        counts[misread(rng, chosen, error, tstv)] += 1
    return counts


def parse_args(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--contigs", type=int, default=1)
    ap.add_argument("--positions", type=int, default=100, help="positions per contig")
    ap.add_argument("--species", type=int, default=1)
    ap.add_argument("--individuals", type=int, default=4, help="individuals per species")
    ap.add_argument("--interleave", action="store_true",
                    help="list the individuals in the header species by species in turn (sp1, sp2, sp1, ...)")
    ap.add_argument("--depth", type=float, default=10.0, help="mean read depth per individual and position")
    ap.add_argument("--error", type=float, default=0.01, help="read error rate")
    ap.add_argument("--tstv", type=float, default=2.0, help="transition/transversion ratio of read errors")
    ap.add_argument("--bias", type=float, default=0.0, help="allelic expression bias in [0, 1)")
    ap.add_argument("--snp-rate", "--het-rate", dest="snp_rate", type=float, default=0.05,
                    help="share of positions where a species segregates two alleles")
    ap.add_argument("--fis", type=float, default=0.0, help="inbreeding coefficient of the genotypes")
    ap.add_argument("--paralog-rate", type=float, default=0.0, help="share of collapsed two-loci positions")
    ap.add_argument("--multi-rate", type=float, default=0.0,
                    help="share of positions where some individuals carry a third allele")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", default="-", help="alr file to write (default: standard output)")
    ap.add_argument("--truth", help="file for the true genotypes")
    return ap.parse_args(argv)


def main(argv):
    args = parse_args(argv)
    rng = random.Random(args.seed)
    out = sys.stdout if args.out == "-" else open(args.out, "w")
    truth = open(args.truth, "w") if args.truth else None

    # Header order of the individuals: (species index, species name, individual name).
    people = []
    if args.interleave:
        for k in range(args.individuals):
            for s in range(args.species):
                people.append((s, "sp%d" % (s + 1), "sp%d_ind%d" % (s + 1, k + 1)))
    else:
        for s in range(args.species):
            for k in range(args.individuals):
                people.append((s, "sp%d" % (s + 1), "sp%d_ind%d" % (s + 1, k + 1)))

    for c in range(args.contigs):
        name = "contig%d" % (c + 1)
        out.write(">%s\n" % name)
        out.write("Contig\tPosition\t" + "\t".join("%s|%s" % (p[1], p[2]) for p in people) + "\n")
        if truth:
            truth.write(">%s\n" % name)
            truth.write("position\t" + "\t".join("%s|%s" % (p[1], p[2]) for p in people) + "\tkind\n")

        for pos in range(args.positions):
            ref = rng.randrange(4)
            u = rng.random()
            kind = "single"
            if u < args.paralog_rate:
                kind = "paralog"
            elif u < args.paralog_rate + args.multi_rate:
                kind = "multi"

            genotypes, all_counts = [], []
            if kind == "paralog":
                # Two loci fixed for different bases, collapsed: every individual reads both.
                other = rng.choice([b for b in range(4) if b != ref])
                share = rng.uniform(0.3, 0.7)
                for _ in people:
                    genotypes.append(tuple(sorted((ref, other))))
                    depth = poisson(rng, args.depth)
                    all_counts.append(reads_of(rng, (ref, other), (share, 1.0 - share), depth, args.error, args.tstv))
            else:
                alt = rng.choice([b for b in range(4) if b != ref])
                third = rng.choice([b for b in range(4) if b != ref and b != alt])
                p_alt = [rng.uniform(0.1, 0.9) if rng.random() < args.snp_rate else 0.0 for _ in range(args.species)]
                for s, _, _ in people:
                    g = draw_genotype(rng, ref, alt, p_alt[s], args.fis)
                    depth = poisson(rng, args.depth)
                    if kind == "multi" and rng.random() < 0.5:
                        # Three alleles in one individual: reads split evenly over ref, alt, third.
                        alleles = (ref, alt, third)
                        counts = reads_of(rng, alleles, (1 / 3.0, 1 / 3.0, 1 / 3.0), depth, args.error, args.tstv)
                        genotypes.append(None)
                    else:
                        w1 = (1.0 + args.bias) / 2.0 if g[0] != g[1] else 0.5
                        counts = reads_of(rng, g, (w1, 1.0 - w1), depth, args.error, args.tstv)
                        genotypes.append(g)
                    all_counts.append(counts)

            seen = [b for b in range(4) if any(cnt[b] > 0 for cnt in all_counts)]
            label_base = ref
            if len(seen) >= 2:
                items = "\t".join("%d[%d/%d/%d/%d]" % ((sum(cnt),) + tuple(cnt)) for cnt in all_counts)
                out.write("%s\tP\t%s\n" % (BASES[ref], items))
            else:
                if seen:
                    label_base = seen[0]
                items = "\t".join(str(cnt[label_base]) for cnt in all_counts)
                out.write("%s\tM\t%s\n" % (BASES[label_base], items))

            if truth:
                cells = ["--" if g is None else BASES[g[0]] + BASES[g[1]] for g in genotypes]
                truth.write("%d\t%s\t%s\n" % (pos + 1, "\t".join(cells), kind))

    if out is not sys.stdout:
        out.close()
    if truth:
        truth.close()


if __name__ == "__main__":
    main(sys.argv[1:])
