#!/usr/bin/env python3
"""Recomputes quorlin's posteriors and calls from the alr input and the estimates of the .data file.

  check_posteriors.py ALR GEN DATA [--best] [--fis F] [--min N] [--policy tolerated|accepted]
                      [--first N] [--stdout OUT --lnl-model M1|M2 [--separate]]

Errors: a rate e split into one transition k*e/(2+k) and two transversions e/(2+k) (k: TsTv
ratio). Bias b: a heterozygote shows its alleles in shares (1+b)/2 and (1-b)/2, either way round.
Prior: Hardy-Weinberg with inbreeding F on the species' base frequencies. A cell is NN|0 below
--min reads or without a possible genotype; --best asks for a most probable genotype. Printed
posteriors must match to 6 significant digits, log-likelihoods to 1e-5. Exit status 1 on a mismatch.
"""

import argparse, itertools, math, re, sys

G = [(a, b) for a in range(4) for b in range(a, 4)]
NAMES = ["ACGT"[a] + "ACGT"[b] for a, b in G]


def lse(values):
    top = max(values, default=-math.inf)
    return top if top == -math.inf else top + math.log(math.fsum(math.exp(v - top) for v in values))


def read_alr(path):
    contigs = []
    for line in open(path).read().split("\n"):
        if line.startswith(">"):
            contigs.append({"name": line[1:], "lines": []})
        elif line and "species" not in contigs[-1]:
            pairs = [x for x in re.split(r"[\t|]+", line) if x][2:]
            contigs[-1]["species"], contigs[-1]["names"] = pairs[0::2], pairs[1::2]
        elif line:
            f = [x for x in re.split(r"[\t\[/\]]+", line) if x]
            n = len(contigs[-1]["species"])
            if f[1] == "P":
                counts = [[int(x) for x in f[3 + 5 * i:7 + 5 * i]] for i in range(n)]
            else:
                counts = [[int(f[2 + i]) if b == "ACGT".index(f[0]) else 0 for b in range(4)] for i in range(n)]
            contigs[-1]["lines"].append((f[1] == "P", counts))
    return contigs


def read_gen(path):
    blocks = []
    for line in open(path).read().split("\n"):
        if line.startswith(">"):
            blocks.append((line[1:], []))
        elif line:
            blocks[-1][1].append(line.split("\t"))
    return blocks


# A third allele has more than 2 reads and at least 5% of the individual's reads.
def multi(c):
    return sum(1 for x in c if x > 2 and x >= 0.05 * sum(c)) >= 3


def matrix(e, k):
    tv = e / (2.0 + k)
    return [[1 - e if a == b else k * tv if (a + b) % 2 == 0 else tv for b in range(4)] for a in range(4)]


def joint(c, f, e, k, b, fis):
    """Log P(reads, genotype) of the ten genotypes, None for an impossible one."""
    m, out = matrix(e, k), []
    coefficient = math.lgamma(sum(c) + 1) - sum(math.lgamma(x + 1) for x in c)
    for g1, g2 in G:
        prior = f[g1] * f[g1] + fis * f[g1] * (1 - f[g1]) if g1 == g2 else 2 * f[g1] * f[g2] * (1 - fis)
        sides = []
        for s in (b, -b):
            p = [0.5 * ((1 + s) * m[g1][j] + (1 - s) * m[g2][j]) for j in range(4)]
            sides.append(-math.inf if any(n and q <= 0 for n, q in zip(c, p)) else
                         sum(n * math.log(q) for n, q in zip(c, p) if n))
        ll = lse(sides)
        out.append(None if prior <= 0 or ll == -math.inf else ll - math.log(2) + coefficient + math.log(prior))
    return out


def posteriors(c, f, est, fis):
    """The ten posteriors and the log-likelihood of the reads."""
    j = joint(c, f, *est, fis)
    total = lse([x for x in j if x is not None])
    return [0.0 if x is None else math.exp(x - total) for x in j], total


def half(v):
    """Half a unit of the sixth significant digit of v."""
    return 0.5 * 10 ** (math.floor(math.log10(abs(v))) - 5) if v else 0.0


def main(argv):
    ap = argparse.ArgumentParser()
    for name in ("alr", "gen", "data"):
        ap.add_argument(name)
    ap.add_argument("--best", action="store_true")
    ap.add_argument("--separate", action="store_true")
    ap.add_argument("--fis", type=float, default=0.0)
    ap.add_argument("--min", type=int, default=1)
    ap.add_argument("--first", type=int)
    ap.add_argument("--policy", default="tolerated", choices=["tolerated", "accepted"])
    ap.add_argument("--stdout")
    ap.add_argument("--lnl-model", choices=["M1", "M2"])
    args = ap.parse_args(argv)

    contigs = read_alr(args.alr)[:args.first]
    blocks = read_gen(args.gen)
    data = [dict(p.split("=", 1) for p in line.strip().split(";") if p) for line in open(args.data) if line.strip()]
    printed_lnl = []
    if args.lnl_model:
        prefix = ("  --> " if args.separate else "") + args.lnl_model + " "
        for line in open(args.stdout):
            if line.startswith(">"):
                printed_lnl.append(None)
            elif line.startswith(prefix):
                printed_lnl[-1] = re.search(r"\tlnL=(\S+)", line).group(1)
    errors, d = [], 0
    if [b[0] for b in blocks] != [c["name"] for c in contigs]:
        errors.append(".gen blocks %s" % [b[0] for b in blocks])
    for ci, (contig, (_, rows)) in enumerate(zip(contigs, blocks)):
        species = contig["species"]
        order = list(dict.fromkeys(species))
        members = {s: [i for i, x in enumerate(species) if x == s] for s in order}
        where = "contig %s" % contig["name"]
        if rows[0] != ["position"] + ["%s|%s" % p for p in zip(species, contig["names"])]:
            errors.append("%s: header %s" % (where, rows[0]))
        if [r[0] for r in rows[1:]] != [str(p + 1) for p in range(len(contig["lines"]))]:
            errors.append("%s: rows numbered %s" % (where, [r[0] for r in rows[1:]]))
        if [r.get("Species_name") for r in data[d:d + len(order)]] != order:
            # A contig whose fit failed writes no .data line and blank rows only.
            if any(cell != "NN|0" for row in rows[1:] for cell in row[1:]):
                errors.append("%s: no .data lines for %s" % (where, order))
            continue
        est = {s: tuple(float(r[k]) for k in ("Transversion_error_rate", "TsTv_ratio", "Allelic_expression_bias"))
               for s, r in zip(order, data[d:])}
        d += len(order)
        lnl = 0.0
        for (poly, counts), row in zip(contig["lines"], rows[1:]):
            for s in order:
                if poly and args.policy == "tolerated" and any(multi(counts[i]) for i in members[s]):
                    for i in members[s]:
                        counts[i] = [0] * 4
            for i, (c, cell) in enumerate(zip(counts, row[1:])):
                s = species[i]
                tot = [sum(counts[m][b] for m in members[s]) for b in range(4)]
                f = [x / sum(tot) for x in tot] if sum(tot) else [0.25] * 4
                # The fits evaluate the likelihood with er_beta capped at 1e6; the estimate is written uncapped.
                lnl += posteriors(c, f, (max(est[s][0], 1 / (1 + 1e6)),) + est[s][1:], args.fis)[1]
                post = posteriors(c, f, est[s], args.fis)[0]
                here = "%s position %s individual %s: %s" % (where, row[0], contig["names"][i], cell)
                if sum(c) < args.min or max(post) == 0:
                    if cell != "NN|0":
                        errors.append(here + ", expected NN|0")
                    continue
                called, _, printed = cell.partition("|")
                g = NAMES.index(called) if called in NAMES else None
                if g is None or post[g] == 0 or (args.best and post[g] < max(post) - 1e-12):
                    errors.append(here + ", posteriors %s" % ["%s %.6g" % x for x in zip(NAMES, post) if x[1]])
                    continue
                # The .data estimates have 6 digits: any estimates that print the same may be the true ones.
                if printed == "%g" % post[g]:
                    continue
                box = [(v - half(v), v + half(v)) for v in est[s]]
                corners = [posteriors(c, f, x, args.fis)[0][g] for x in itertools.product(*box)]
                slack = half(float(printed)) + 1e-12
                if not min(corners) - slack <= float(printed) <= max(corners) + slack:
                    errors.append(here + ", expected %.9g" % post[g])
        if ci < len(printed_lnl) and printed_lnl[ci] is not None:
            if printed_lnl[ci] == "-inf" or abs(float(printed_lnl[ci]) - lnl) > 1e-5 * max(1.0, abs(lnl)):
                errors.append("%s: lnL=%s, expected %.9g" % (where, printed_lnl[ci], lnl))
    if d != len(data):
        errors.append("%d extra .data lines" % (len(data) - d))
    print("checked %d contigs, %d mismatches" % (len(contigs), len(errors)))
    for e in errors[:10]:
        print("MISMATCH " + e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
