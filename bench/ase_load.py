#!/usr/bin/python3
"""Loads an XYZ file with ASE and counts bonds with Tesk's criterion:
a pair is bonded when its distance is at most sqrt(1.2) times the sum of
the two element radii of Tesk's table; no self pairs, no periodic images.

    ase_load.py FILE ELEMENTS_H

Prints "atoms N bonds B exact E seconds S": B is what ASE's neighbour list
finds with those cutoffs, in double precision; E applies Tesk's criterion
to ASE's candidate pairs with Tesk's float arithmetic (squared distance of
float positions against float(1.2 * s * s)), so a pair that lies within
float rounding of the cutoff counts as Tesk counts it. E must equal Tesk's
number; B may differ from it by such boundary pairs.
"""
import math
import re
import sys
import time

start = time.perf_counter()
import numpy as np  # noqa: E402
from ase.io import read  # noqa: E402
from ase.neighborlist import neighbor_list  # noqa: E402


def tesk_radii(header):
    text = open(header).read()
    symbols = re.search(r"symbol\[periodic_table_atoms\] = \{(.*?)\};", text, re.S).group(1)
    symbols = re.findall(r'"(\w+)"', symbols)
    rgbs = re.search(r"atom_rgbs\[periodic_table_atoms\] = \{(.*?)\};", text, re.S).group(1)
    radii = [float(m) for m in re.findall(r"([\d.]+)f\),", rgbs)]
    return dict(zip(symbols, radii))


def main():
    path, header = sys.argv[1], sys.argv[2]
    radii = tesk_radii(header)
    atoms = read(path, format="xyz")
    # a cell that encloses the atoms, so that ASE bins them in space
    pos = atoms.get_positions()
    f32 = pos.astype(np.float32)
    low = pos.min(axis=0) - 5.0
    atoms.set_positions(pos - low)
    atoms.set_cell(np.diag(pos.max(axis=0) - low + 5.0))
    atoms.set_pbc(False)
    symbols = atoms.get_chemical_symbols()
    r = np.array([radii[s] for s in symbols], dtype=np.float32)
    # candidates a little beyond the cutoff, so the boundary pairs are seen
    cutoffs = np.sqrt(1.2) * r.astype(np.float64) * (1.0 + 1e-4)
    i, j, d = neighbor_list("ijd", atoms, cutoffs, self_interaction=False)
    keep = i < j
    i, j, d = i[keep], j[keep], d[keep]
    bonds = int(np.count_nonzero(d < np.sqrt(1.2) * (r[i].astype(np.float64) + r[j].astype(np.float64))))
    diff = f32[j] - f32[i]
    d2 = (diff[:, 0] * diff[:, 0] + diff[:, 1] * diff[:, 1]) + diff[:, 2] * diff[:, 2]
    s = r[i] + r[j]
    limit = (1.2 * (s * s).astype(np.float64)).astype(np.float32)
    exact = int(np.count_nonzero((d2 <= limit) & (d2.astype(np.float64) > 0.1)))
    print("atoms %d bonds %d exact %d seconds %.3f" % (len(atoms), bonds, exact, time.perf_counter() - start))


if __name__ == "__main__":
    main()
