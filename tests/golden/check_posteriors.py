#!/usr/bin/env python3
"""Independent check of quorlin's genotype calls.

Recomputes, from an alr file and the estimates of the .data file, the posterior probability
of the ten genotypes of every individual at every position, and compares the calls and
posteriors of the .gen file with them:

  - read errors: a whole error rate e split into two transversions of e/(2+k) and one
    transition of k*e/(2+k) per true base (k = TsTv_ratio);
  - allelic expression bias b: a heterozygote g1/g2 reads g1 with weight (1+b)/2 in one
    orientation and (1-b)/2 in the other, the two orientations averaged;
  - prior: Hardy-Weinberg with inbreeding F on the species' base frequencies at the position
    (hom f*f + F*f*(1-f), het 2*f1*f2*(1-F)); a base the species does not read is impossible;
  - multi-allele policy "tolerated": at a line marked P, the counts of every individual of a
    species in which one individual shows three bases, each with more than 2 reads and at
    least 5% of its reads, are set to 0.

With --best the call must be the most probable genotype (ties to the earlier one in the order
AA, AC, ..., TT); with --random any genotype of positive posterior may be called, and the
script reports how often a call differs from the most probable genotype against how often it
should. An individual whose depth is below --min, or without a possible genotype, must show
"NN|0". Posteriors are compared with the printed 6 significant digits, allowing for the
rounding of the estimates in the .data file.

With --stdout and --lnl-model, the contig log-likelihood printed for that model is checked too
(the "  --> " line with --separate, else the shared line).

Exit status 0 when everything agrees; otherwise the first disagreements are printed.
"""

import argparse
import math
import re
import sys

BASES = "ACGT"
GENOTYPES = [(a, b) for a in range(4) for b in range(a, 4)]
TRANSITION = {0: 2, 2: 0, 1: 3, 3: 1}


def read_alr(path):
    contigs = []
    with open(path) as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        if line == "" and i == len(lines) - 1:
            break
        if not line.startswith(">"):
            raise SystemExit("%s: line %d: expected a '>' line" % (path, i + 1))
        name = line[1:]
        fields = [x for x in re.split(r"[\t|]+", lines[i + 1]) if x != ""]
        pairs = fields[2:]
        species = pairs[0::2]
        individuals = pairs[1::2]
        i += 2
        positions = []
        while i < len(lines) and lines[i] != "" and not lines[i].startswith(">"):
            items = [x for x in re.split(r"[\t\[/\]]+", lines[i]) if x != ""]
            label, mark, rest = items[0], items[1], items[2:]
            counts = []
            if mark == "P":
                for k in range(len(species)):
                    counts.append([int(x) for x in rest[5 * k + 1:5 * k + 5]])
            else:
                b = BASES.index(label)
                for k in range(len(species)):
                    c = [0, 0, 0, 0]
                    c[b] = int(rest[k])
                    counts.append(c)
            positions.append((mark == "P", counts))
            i += 1
        contigs.append({"name": name, "species": species, "individuals": individuals, "positions": positions})
    return contigs


def read_gen(path):
    blocks = []
    with open(path) as f:
        for line in f.read().split("\n"):
            if line == "":
                continue
            if line.startswith(">"):
                blocks.append({"name": line[1:], "header": None, "rows": []})
            elif blocks[-1]["header"] is None:
                blocks[-1]["header"] = line
            else:
                fields = line.split("\t")
                blocks[-1]["rows"].append((fields[0], fields[1:]))
    return blocks


def read_data(path):
    records = []
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            rec = {}
            for part in line.split(";"):
                if part:
                    k, v = part.split("=", 1)
                    rec[k] = v
            records.append(rec)
    return records


def species_order(species):
    seen = []
    for s in species:
        if s not in seen:
            seen.append(s)
    return seen


def is_multi(c):
    n = sum(c)
    return sum(1 for x in c if x > 2 and x / n >= 0.05) >= 3


def apply_policy(contig, policy):
    if policy == "accepted":
        return
    order = species_order(contig["species"])
    for poly, counts in contig["positions"]:
        if not poly:
            continue
        for s in order:
            members = [i for i, sp in enumerate(contig["species"]) if sp == s]
            if any(is_multi(counts[i]) for i in members):
                for i in members:
                    counts[i] = [0, 0, 0, 0]


def logsumexp(values):
    values = [v for v in values if v != -math.inf]
    if not values:
        return -math.inf
    m = max(values)
    return m + math.log(math.fsum(math.exp(v - m) for v in values))


def error_matrix(e, k):
    tv = e / (2.0 + k)
    m = [[tv] * 4 for _ in range(4)]
    for a in range(4):
        m[a][TRANSITION[a]] = k * tv
        m[a][a] = 1.0 - e
    return m


def log_multinomial(counts, probs):
    n = sum(counts)
    out = math.lgamma(n + 1)
    for c, p in zip(counts, probs):
        out -= math.lgamma(c + 1)
        if c > 0:
            if p <= 0.0:
                return -math.inf
            out += c * math.log(p)
    return out


def genotype_loglik(counts, g, m, b):
    g1, g2 = g
    plus = [0.5 * ((1 + b) * m[g1][j] + (1 - b) * m[g2][j]) for j in range(4)]
    minus = [0.5 * ((1 - b) * m[g1][j] + (1 + b) * m[g2][j]) for j in range(4)]
    return logsumexp([log_multinomial(counts, plus), log_multinomial(counts, minus)]) - math.log(2.0)


def log_prior(f, g, fis):
    g1, g2 = g
    if g1 == g2:
        v = f[g1] * f[g1] + fis * f[g1] * (1 - f[g1])
    else:
        v = 2 * f[g1] * f[g2] * (1 - fis)
    return math.log(v) if v > 0 else -math.inf


def frequencies(counts, members):
    tot = [sum(counts[i][b] for i in members) for b in range(4)]
    t = sum(tot)
    return [0.25] * 4 if t == 0 else [x / t for x in tot]


def posteriors(counts, f, m, b, fis):
    """Log joint of each genotype (None when impossible) and their log-sum."""
    joint = []
    for g in GENOTYPES:
        if f[g[0]] == 0 or f[g[1]] == 0:
            joint.append(None)
            continue
        ll = genotype_loglik(counts, g, m, b)
        if ll == -math.inf:
            joint.append(None)
            continue
        joint.append(ll + log_prior(f, g, fis))
    total = logsumexp([j for j in joint if j is not None])
    return joint, total


def half_unit(value):
    """Half a unit of the last of 6 significant digits of value."""
    if value == 0.0:
        return 0.0
    return 0.5 * 10 ** (math.floor(math.log10(abs(value))) - 5)


def printed_matches(text, low, high):
    """Whether a posterior printed with 6 significant digits can come from [low, high]."""
    if text == "%g" % low or text == "%g" % high:
        return True
    printed = float(text)
    slack = half_unit(printed) + 1e-12
    return low - slack <= printed <= high + slack


def posterior_range(counts, f, box, fis, index):
    """Smallest and largest posterior of one genotype over the corners of the estimate box."""
    values = []
    for e in box[0]:
        for k in box[1]:
            for b in box[2]:
                joint, total = posteriors(counts, f, error_matrix(e, k), b, fis)
                values.append(0.0 if joint[index] is None else math.exp(joint[index] - total))
    return min(values), max(values)


def fmt_genotype(g):
    return BASES[g[0]] + BASES[g[1]]


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("alr")
    ap.add_argument("gen")
    ap.add_argument("data")
    mode = ap.add_mutually_exclusive_group(required=True)
    mode.add_argument("--best", action="store_true")
    mode.add_argument("--random", action="store_true")
    ap.add_argument("--fis", type=float, default=0.0)
    ap.add_argument("--min", type=int, default=1, dest="min_depth")
    ap.add_argument("--policy", default="tolerated", choices=["tolerated", "accepted"])
    ap.add_argument("--stdout", help="console output of the run, to check the log-likelihood line")
    ap.add_argument("--lnl-model", choices=["M1", "M2"], help="model whose log-likelihood line is checked")
    ap.add_argument("--separate", action="store_true", help="the calls come from the separate fit")
    ap.add_argument("--first", type=int, help="check only the first N contigs (a run that stopped early)")
    ap.add_argument("--max-errors", type=int, default=10)
    args = ap.parse_args(argv)

    contigs = read_alr(args.alr)
    if args.first is not None:
        contigs = contigs[: args.first]
    blocks = read_gen(args.gen)
    data = read_data(args.data)
    lnl_lines = []
    if args.stdout and args.lnl_model:
        prefix = ("  --> " if args.separate else "") + args.lnl_model + " "
        with open(args.stdout) as f:
            for line in f:
                if line.startswith(">"):
                    lnl_lines.append(None)
                elif line.startswith(prefix) and lnl_lines:
                    lnl_lines[-1] = line.rstrip("\n")

    errors = []

    def fail(msg):
        errors.append(msg)

    stats = {"calls": 0, "nocalls": 0, "not_best": 0, "expected_not_best": 0.0, "var_not_best": 0.0,
             "positions": 0}
    d = 0
    block_index = 0
    for ci, contig in enumerate(contigs):
        apply_policy(contig, args.policy)
        order = species_order(contig["species"])
        if block_index >= len(blocks) or blocks[block_index]["name"] != contig["name"]:
            fail("contig %s: no .gen block" % contig["name"])
            continue
        block = blocks[block_index]
        block_index += 1
        header = "position" + "".join("\t%s|%s" % p for p in zip(contig["species"], contig["individuals"]))
        if block["header"] != header:
            fail("contig %s: header %r, expected %r" % (contig["name"], block["header"], header))
        if len(block["rows"]) != len(contig["positions"]):
            fail("contig %s: %d rows, expected %d" % (contig["name"], len(block["rows"]), len(contig["positions"])))
            continue

        names = [data[d + k].get("Species_name") if d + k < len(data) else None for k in range(len(order))]
        if names != order:
            # A contig whose fit failed has no .data lines and only blank rows.
            if any(cell != "NN|0" for _, cells in block["rows"] for cell in cells):
                fail("contig %s: no .data lines for species %s" % (contig["name"], order))
            continue
        est, est_box = {}, {}
        for k, s in enumerate(order):
            rec = data[d + k]
            est[s] = (float(rec["Transversion_error_rate"]), float(rec["TsTv_ratio"]),
                      float(rec["Allelic_expression_bias"]))
            est_box[s] = [(v - half_unit(v), v + half_unit(v)) for v in est[s]]
        d += len(order)

        # The fits evaluate the likelihood with er_beta capped at 1e6, that is an error rate of
        # at least 1/(1 + 1e6), while the estimates are written uncapped.
        lnl_matrix = {s: error_matrix(max(est[s][0], 1.0 / (1.0 + 1e6)), est[s][1]) for s in order}
        contig_lnl = {s: 0.0 for s in order}
        for p, ((poly, counts), (ordinal, cells)) in enumerate(zip(contig["positions"], block["rows"])):
            stats["positions"] += 1
            if ordinal != str(p + 1):
                fail("contig %s: row %d numbered %s" % (contig["name"], p + 1, ordinal))
            if len(cells) != len(counts):
                fail("contig %s position %d: %d cells" % (contig["name"], p + 1, len(cells)))
                continue
            for i, (c, cell) in enumerate(zip(counts, cells)):
                s = contig["species"][i]
                members = [k for k, sp in enumerate(contig["species"]) if sp == s]
                f = frequencies(counts, members)
                e, k, b = est[s]
                joint, total = posteriors(c, f, error_matrix(e, k), b, args.fis)
                if lnl_lines:
                    contig_lnl[s] += posteriors(c, f, lnl_matrix[s], b, args.fis)[1]
                where = "contig %s position %d individual %s" % (contig["name"], p + 1, contig["individuals"][i])
                possible = [(g, math.exp(j - total)) for g, j in zip(GENOTYPES, joint) if j is not None]
                if not possible or sum(c) < args.min_depth:
                    stats["nocalls"] += 1
                    if cell != "NN|0":
                        fail("%s: %s, expected NN|0" % (where, cell))
                    continue
                stats["calls"] += 1
                called, _, printed = cell.partition("|")
                best_g, best_p = possible[0]
                for g, post in possible[1:]:
                    if post > best_p:
                        best_g, best_p = g, post
                if args.best:
                    ties = [g for g, post in possible if abs(post - best_p) <= 1e-12]
                    if called not in [fmt_genotype(g) for g in ties]:
                        fail("%s: called %s, expected %s (%.9g)" % (where, cell, fmt_genotype(best_g), best_p))
                        continue
                table = {fmt_genotype(g): post for g, post in possible}
                if called not in table or table[called] <= 0.0:
                    fail("%s: called %s, which is impossible" % (where, cell))
                    continue
                low = high = table[called]
                if printed != "%g" % low:
                    # The .data estimates are rounded to 6 digits: the posterior may come from
                    # anywhere in the box of estimates that print the same.
                    low, high = posterior_range(c, f, est_box[s], args.fis, GENOTYPES.index(
                        (BASES.index(called[0]), BASES.index(called[1]))))
                if not printed_matches(printed, low, high):
                    fail("%s: %s, expected posterior %.9g" % (where, cell, table[called]))
                if args.random:
                    stats["expected_not_best"] += 1.0 - best_p
                    stats["var_not_best"] += best_p * (1.0 - best_p)
                    if called != fmt_genotype(best_g):
                        stats["not_best"] += 1

        if lnl_lines and ci < len(lnl_lines) and lnl_lines[ci] is not None:
            line = lnl_lines[ci]
            match = re.search(r"\tlnL=([^\t]+)", line)
            expected = sum(contig_lnl.values())
            if match is None or match.group(1) == "-inf":
                fail("contig %s: log-likelihood line %r" % (contig["name"], line))
            elif abs(float(match.group(1)) - expected) > 1e-5 * max(1.0, abs(expected)):
                fail("contig %s: lnL=%s, expected %.9g" % (contig["name"], match.group(1), expected))

    if block_index != len(blocks):
        fail("%d extra .gen blocks" % (len(blocks) - block_index))
    if d != len(data):
        fail("%d extra .data lines" % (len(data) - d))

    summary = "checked %d positions: %d calls, %d no-calls" % (stats["positions"], stats["calls"], stats["nocalls"])
    if args.random:
        sd = math.sqrt(stats["var_not_best"]) if stats["var_not_best"] > 0 else 0.0
        z = (stats["not_best"] - stats["expected_not_best"]) / sd if sd > 0 else 0.0
        summary += "; calls other than the most probable: %d, expected %.2f (z = %.2f)" % (
            stats["not_best"], stats["expected_not_best"], z)
    print(summary)
    for msg in errors[: args.max_errors]:
        print("MISMATCH " + msg)
    if errors:
        print("%d mismatches" % len(errors))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
