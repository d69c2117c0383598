#!/usr/bin/python3
"""Loads an XYZ file with ASE and counts bonds with Tesk's criterion:
a pair is bonded when its distance is at most sqrt(1.2) times the sum of
the two element radii of Tesk's table; no self pairs, no periodic images.

    ase_load.py FILE ELEMENTS_H

Prints "atoms N bonds B seconds S".
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
    low = pos.min(axis=0) - 5.0
    atoms.set_positions(pos - low)
    atoms.set_cell(np.diag(pos.max(axis=0) - low + 5.0))
    atoms.set_pbc(False)
    cutoffs = [math.sqrt(1.2) * radii[s] for s in atoms.get_chemical_symbols()]
    i = neighbor_list("i", atoms, cutoffs, self_interaction=False)
    bonds = len(i) // 2
    print("atoms %d bonds %d seconds %.3f" % (len(atoms), bonds, time.perf_counter() - start))


if __name__ == "__main__":
    main()
