#!/usr/bin/python3
"""Writes the benchmark inputs: boxes of liquid water with sodium and
chloride ions at the density of water, in XYZ, extended POSCAR and PDB.

    generate.py OUT_DIR N [N ...]     e.g. generate.py bench/data 10000 100000 1000000

Each file holds about N atoms: molecules on a cubic grid of 3.104 A (one
molecule per 29.9 A^3, as in water at 1 g/cm^3), randomly turned, and one
site in twenty a Na or Cl ion instead. The same seed gives the same files.

Besides, in XYZ only, spreads of atoms that a bond search over the bounding
box handles badly: two such blobs of N/2 atoms 100,000 A apart
(blobs-N.xyz), N carbon atoms 1.4 A apart on the diagonal of a cube
(line-N.xyz), and N water atoms all at one point (point-N.xyz).
"""
import math
import os
import random
import sys

SPACING = 3.104
OH = 0.9572
HOH = math.radians(104.52)


def molecules(n_atoms, rng):
    sites = max(1, round(n_atoms / 2.9))
    side = math.ceil(sites ** (1.0 / 3.0))
    atoms = []
    for k in range(side):
        for j in range(side):
            for i in range(side):
                if len(atoms) >= n_atoms:
                    return atoms[:n_atoms], side * SPACING
                o = ((i + 0.5) * SPACING, (j + 0.5) * SPACING, (k + 0.5) * SPACING)
                if rng.random() < 0.05:
                    atoms.append(("Na" if rng.random() < 0.5 else "Cl", o))
                    continue
                # random orientation: two unit vectors HOH degrees apart
                u = random_unit(rng)
                t = random_unit(rng)
                w = cross(u, t)
                norm = math.sqrt(sum(c * c for c in w)) or 1.0
                w = tuple(c / norm for c in w)
                v = tuple(math.cos(HOH) * a + math.sin(HOH) * b for a, b in zip(u, cross(w, u)))
                atoms.append(("O", o))
                atoms.append(("H", tuple(a + OH * b for a, b in zip(o, u))))
                atoms.append(("H", tuple(a + OH * b for a, b in zip(o, v))))
    return atoms[:n_atoms], side * SPACING


def random_unit(rng):
    z = rng.uniform(-1, 1)
    phi = rng.uniform(0, 2 * math.pi)
    r = math.sqrt(1 - z * z)
    return (r * math.cos(phi), r * math.sin(phi), z)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def write_xyz(path, atoms, edge):
    with open(path, "w") as f:
        f.write("%d\nCell=\"%.4f 0 0 0 %.4f 0 0 0 %.4f\" water with NaCl\n" % (len(atoms), edge, edge, edge))
        for s, (x, y, z) in atoms:
            f.write("%-2s %12.6f %12.6f %12.6f\n" % (s, x, y, z))


def write_poscar(path, atoms, edge):
    species = []
    for s, _ in atoms:
        if s not in species:
            species.append(s)
    with open(path, "w") as f:
        f.write("water with NaCl\n1.0\n")
        f.write("%.6f 0 0\n0 %.6f 0\n0 0 %.6f\n" % (edge, edge, edge))
        f.write(" ".join(species) + "\n")
        f.write(" ".join(str(sum(1 for a in atoms if a[0] == s)) for s in species) + "\n")
        f.write("Cartesian\n")
        for s in species:
            for t, (x, y, z) in atoms:
                if t == s:
                    f.write("%14.8f %14.8f %14.8f\n" % (x, y, z))


def write_pdb(path, atoms, edge):
    with open(path, "w") as f:
        f.write("HEADER    WATER WITH NACL\n")
        f.write("CRYST1%9.3f%9.3f%9.3f%7.2f%7.2f%7.2f P 1           1\n" % (edge, edge, edge, 90, 90, 90))
        for i, (s, (x, y, z)) in enumerate(atoms, 1):
            # serial numbers past 99999 wrap, as in real large PDB files
            # one-letter element names start in column 14, two-letter ones in 13
            name = (" %-3s" % s.upper()) if len(s) == 1 else ("%-4s" % s.upper())
            f.write("HETATM%5d %4s HOH  %4d    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n"
                    % (i % 100000, name, (i // 3) % 10000, x, y, z, s.upper()))
        f.write("END\n")


def write_dump(path, atoms, edge):
    # LAMMPS writes the atoms of a frame in any order: these go backwards
    types = {"O": 1, "H": 2, "Na": 3, "Cl": 4}
    with open(path, "w") as f:
        f.write("ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n%d\n" % len(atoms))
        f.write("ITEM: BOX BOUNDS pp pp pp\n0 %.4f\n0 %.4f\n0 %.4f\n" % (edge, edge, edge))
        f.write("ITEM: ATOMS id type element x y z\n")
        for i in range(len(atoms), 0, -1):
            s, (x, y, z) = atoms[i - 1]
            f.write("%d %d %s %.5f %.5f %.5f\n" % (i, types[s], s, x, y, z))


def write_mmcif(path, atoms, edge):
    with open(path, "w") as f:
        f.write("data_water\n_cell.length_a %.4f\n_cell.length_b %.4f\n_cell.length_c %.4f\n" % (edge, edge, edge))
        f.write("_cell.angle_alpha 90\n_cell.angle_beta 90\n_cell.angle_gamma 90\nloop_\n")
        for tag in ("group_PDB", "id", "type_symbol", "label_atom_id", "label_alt_id", "label_comp_id",
                    "label_asym_id", "label_seq_id", "Cartn_x", "Cartn_y", "Cartn_z", "occupancy",
                    "B_iso_or_equiv", "auth_seq_id", "pdbx_PDB_model_num"):
            f.write("_atom_site.%s\n" % tag)
        for i, (s, (x, y, z)) in enumerate(atoms, 1):
            f.write("HETATM %d %s %s . HOH A . %.3f %.3f %.3f 1 0 %d 1\n" % (i, s, s.upper(), x, y, z, i // 3 + 1))


def write_shapes(stem_dir, n, rng):
    path = os.path.join(stem_dir, "blobs-%d.xyz" % n)
    if not os.path.exists(path):
        half, _ = molecules(n // 2, rng)
        other, _ = molecules(n - n // 2, rng)
        with open(path, "w") as f:
            f.write("%d\ntwo blobs of water 100000 A apart\n" % n)
            for shift, atoms in ((0.0, half), (100000.0, other)):
                for s, (x, y, z) in atoms:
                    f.write("%-2s %12.6f %12.6f %12.6f\n" % (s, x + shift, y + shift, z + shift))
    path = os.path.join(stem_dir, "line-%d.xyz" % n)
    if not os.path.exists(path):
        step = 1.4 / math.sqrt(3.0)
        with open(path, "w") as f:
            f.write("%d\ncarbon chain on the diagonal\n" % n)
            for i in range(n):
                f.write("C %.6f %.6f %.6f\n" % (i * step, i * step, i * step))
    path = os.path.join(stem_dir, "point-%d.xyz" % n)
    if not os.path.exists(path):
        with open(path, "w") as f:
            f.write("%d\nevery atom at one point\n" % n)
            for i in range(n):
                f.write("%s 1.5 -2.5 3.5\n" % ("O" if i % 3 == 0 else "H"))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for n in (int(a) for a in sys.argv[2:]):
        rng = random.Random(n)
        atoms, edge = molecules(n, rng)
        stem = os.path.join(out, "water-%d" % n)
        if not os.path.exists(stem + ".xyz"):
            write_xyz(stem + ".xyz", atoms, edge)
        os.makedirs(stem + "-vasp", exist_ok=True)
        if not os.path.exists(stem + "-vasp/POSCAR"):
            write_poscar(stem + "-vasp/POSCAR", atoms, edge)
        if not os.path.exists(stem + ".pdb"):
            write_pdb(stem + ".pdb", atoms, edge)
        if not os.path.exists(stem + ".dump"):
            write_dump(stem + ".dump", atoms, edge)
        if not os.path.exists(stem + ".cif"):
            write_mmcif(stem + ".cif", atoms, edge)
        write_shapes(out, n, rng)


if __name__ == "__main__":
    main()
