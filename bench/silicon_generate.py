#!/usr/bin/python3
"""Writes silicon supercells for the drawing benchmarks, in XYZ with their cell.

    silicon_generate.py OUT_DIR N [N ...]     e.g. silicon_generate.py bench/data 10000 100000 1000000

Each file (silicon-N.xyz) holds n x n x n conventional diamond cells (a = 5.431 A, 8 atoms
each), n the nearest whole number to (N / 8)^(1/3): 10,648, 97,336 and 1,000,000 atoms for the
sizes above. Four atoms in five are Si, one in ten C and one in ten O, and every atom is moved by
up to 0.05 A along each axis, so that the lattice stays bonded but its columns are not exact.
Seen along a cell axis the diamond lattice leaves open channels, with the bonds of each cell
stacked over those of the next: the view that a renderer must not draw a hundred layers deep.
The same seed gives the same files.
"""
import os
import random
import sys

A = 5.431
BASIS = ((0, 0, 0), (0.5, 0.5, 0), (0.5, 0, 0.5), (0, 0.5, 0.5),
         (0.25, 0.25, 0.25), (0.75, 0.75, 0.25), (0.75, 0.25, 0.75), (0.25, 0.75, 0.75))
JITTER = 0.05


def write(path, n, rng):
    edge = A * n
    with open(path, "w") as f:
        f.write("%d\nCell=\"%.4f 0 0 0 %.4f 0 0 0 %.4f\" silicon with C and O\n" % (8 * n ** 3, edge, edge, edge))
        lines = []
        for z in range(n):
            for y in range(n):
                for x in range(n):
                    for b in BASIS:
                        u = rng.random()
                        s = "Si" if u < 0.8 else ("C" if u < 0.9 else "O")
                        p = [(c + o) * A + rng.uniform(-JITTER, JITTER) for c, o in zip((x, y, z), b)]
                        lines.append("%-2s %12.6f %12.6f %12.6f\n" % (s, p[0], p[1], p[2]))
            f.writelines(lines)
            lines = []


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for arg in sys.argv[2:]:
        n = max(1, round((int(arg) / 8) ** (1 / 3)))
        path = os.path.join(out, "silicon-%d.xyz" % int(arg))
        if not os.path.exists(path):
            write(path, n, random.Random(int(arg)))
        print(path)


if __name__ == "__main__":
    main()
