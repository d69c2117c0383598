#!/usr/bin/python3
"""Reads a CHGCAR with ASE and takes its isosurface with scikit-image's
marching cubes, as a user of those tools would; prints the times.

    ase_volume.py CHGCAR LEVEL
prints "load S surface S triangles T new_level S"
"""
import sys
import time

import numpy as np
from ase.calculators.vasp import VaspChargeDensity
from skimage.measure import marching_cubes

path, level = sys.argv[1], float(sys.argv[2])
t0 = time.perf_counter()
chg = VaspChargeDensity(path).chg[0]
t1 = time.perf_counter()
# periodic like Tesk's: the first plane of each axis repeated after the last
wrapped = np.pad(chg, ((0, 1), (0, 1), (0, 1)), mode='wrap')
verts, faces, normals, values = marching_cubes(wrapped, level)
t2 = time.perf_counter()
marching_cubes(wrapped, level * 0.5)
t3 = time.perf_counter()
print('load %.3f surface %.3f triangles %d new_level %.3f' % (t1 - t0, t2 - t1, len(faces), t3 - t2))
