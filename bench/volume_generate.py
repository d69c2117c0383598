#!/usr/bin/python3
"""Writes a synthetic CHGCAR that looks like a real valence density: silicon
in the diamond structure (a slightly skewed cell), a Gaussian core on each
atom and a bond charge between neighbours, as VASP writes it (value x cell
volume, five values to a line, x fastest).

    volume_generate.py OUT_DIR N [N ...]     writes OUT_DIR/CHGCAR-N (N^3 points)
"""
import os
import sys

import numpy as np


def density(n):
    a = 5.43
    cell = np.array([[a, 0.0, 0.0], [0.3, a, 0.0], [0.2, -0.25, a]])
    base = np.array([[0, 0, 0], [0, .5, .5], [.5, 0, .5], [.5, .5, 0]])
    frac = np.vstack([base, base + 0.25])
    # bond centres: each atom of the second set with its four neighbours
    bonds = []
    for p in frac[4:]:
        for q in frac[:4]:
            for shift in np.ndindex(3, 3, 3):
                d = q + np.array(shift) - 1 - p
                if abs(np.linalg.norm(d @ cell) - a * np.sqrt(3) / 4) < 0.2:
                    bonds.append(p + d / 2)
    g = np.arange(n) / n
    fx, fy, fz = np.meshgrid(g, g, g, indexing='ij')
    grid = np.stack([fx, fy, fz], axis=-1)
    rho = np.zeros((n, n, n))
    for centres, amplitude, sigma in ((frac, 2.0, 0.35), (np.array(bonds), 0.6, 0.45)):
        for c in centres:
            d = grid - c
            d -= np.round(d)
            r = d @ cell
            rho += amplitude * np.exp(-(r * r).sum(-1) / (2 * sigma * sigma))
    return cell, frac, rho


def write(path, n):
    cell, frac, rho = density(n)
    volume = abs(np.linalg.det(cell))
    with open(path, 'w') as f:
        f.write('Si8 synthetic valence density\n   1.00000000000000\n')
        for v in cell:
            f.write(' %12.6f%12.6f%12.6f\n' % tuple(v))
        f.write('   Si\n     8\nDirect\n')
        for p in frac:
            f.write('  %.6f  %.6f  %.6f\n' % tuple(p))
        f.write('\n%5d%5d%5d\n' % (n, n, n))
        values = (rho * volume).flatten(order='F')
        full = len(values) // 5 * 5
        np.savetxt(f, values[:full].reshape(-1, 5), fmt=' %17.11E', delimiter='')
        if full < len(values):
            f.write(''.join(' %17.11E' % v for v in values[full:]) + '\n')
        f.write('augmentation occupancies   1  18\n  0.1000000E+01  0.0000000E+00\n')


if __name__ == '__main__':
    os.makedirs(sys.argv[1], exist_ok=True)
    for n in map(int, sys.argv[2:]):
        path = os.path.join(sys.argv[1], 'CHGCAR-%d' % n)
        if not os.path.exists(path):
            write(path, n)
