#!/usr/bin/python3
"""Reads the field output of a run with meshio, a reader independent of the
solver, and checks it against the solver's own text files and closed forms.

    read_field.py DIR free VX VY VZ LX LY LZ
        a block [0,LX]x[0,LY]x[0,LZ] flying freely at (VX, VY, VZ)
    read_field.py DIR uniaxial YOUNG POISSON
        one element strained along z: stress ratios of uniaxial strain
    read_field.py DIR glob MODEL_DECK
        a partitioned run whose decks hold "glob": the node and element
        numbers are those of DIR/hexdyn.map, the materials those of the
        model's deck

Prints one summary line per frame and "OK" when every check holds; exits 1
with the failed checks otherwise."""
import sys
import os
import xml.etree.ElementTree as ET

import numpy as np
import meshio

POINT = ["velocity", "displacement", "node"]
CELL = ["stress_xx", "stress_yy", "stress_zz", "stress_yz", "stress_zx", "stress_xy",
        "pressure", "equivalent_stress", "plastic_strain", "relative_volume",
        "material", "element", "process"]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def anim_zones(path):
    """Node coordinates of each zone of an animation file."""
    zones, cur = [], None
    with open(path) as f:
        for line in f.read().splitlines()[3:]:
            if line.startswith("ZONE"):
                cur = []
                zones.append(cur)
            elif len(line) == 36:
                cur.append([float(line[i:i + 12]) for i in (0, 12, 24)])
    return [np.array(z) for z in zones]


def global_numbers(d):
    """Per deck name, the whole-model numbers of its nodes and elements."""
    words = open(os.path.join(d, "hexdyn.map")).read().split()
    out, i = {}, words.index("proc")
    while i < len(words) and words[i] == "proc":
        deck, n, e = words[i + 3], int(words[i + 5]), int(words[i + 7])
        nums = [int(w) for w in words[i + 8:i + 8 + n + e]]
        out[deck] = (np.array(nums[:n]), np.array(nums[n:]))
        i += 8 + n + e
    return out


def deck_materials(path):
    """Material set of every element of a deck, by element number."""
    mats, inelem = {}, False
    for line in open(path):
        w = line.split()
        if not w:
            continue
        if w[0] == "elem":
            inelem = True
        elif inelem and w[0].isdigit() and len(w) >= 10:
            mats[int(w[0])] = int(w[1])
        elif inelem:
            inelem = False
    return mats


def frames(d):
    series = ET.parse(os.path.join(d, "field.pvd")).getroot()
    for ds in series.iter("DataSet"):
        pvtu = os.path.join(d, ds.get("file"))
        root = ET.parse(pvtu).getroot()
        pieces = [os.path.join(os.path.dirname(pvtu), p.get("Source")) for p in root.iter("Piece")]
        names = [a.get("Name") for a in root.iter("PDataArray")]
        yield float(ds.get("timestep")), pieces, names


def main():
    d, mode = sys.argv[1], sys.argv[2]
    args = sys.argv[3:] if mode == "glob" else [float(a) for a in sys.argv[3:]]
    if mode == "glob":
        numbers, mats = global_numbers(d), deck_materials(os.path.join(d, args[0]))
    nframes = 0
    times = []
    for i, (t, pieces, names) in enumerate(frames(d)):
        nframes += 1
        times.append(t)
        check(names == POINT + CELL + ["Points"], "array names of the parallel file: %s" % names)
        npts = ncells = 0
        for p, piece in enumerate(pieces):
            m = meshio.read(piece)
            check(list(m.point_data) == POINT, "point data of %s" % piece)
            check(list(m.cell_data) == CELL, "cell data of %s" % piece)
            hexes = m.cells_dict["hexahedron"]
            n, e = len(m.points), len(hexes)
            npts += n
            ncells += e
            cd = {k: v[0] for k, v in m.cell_data.items()}
            pd = m.point_data
            check(pd["velocity"].shape == (n, 3) and pd["displacement"].shape == (n, 3),
                  "vector shapes")
            check((cd["process"] == p).all(), "process of piece %d" % p)
            if mode == "glob":
                nodes, elems = numbers[os.path.basename(piece)[7:-4]]
                check((pd["node"] == nodes).all(), "global node numbers of %s" % piece)
                check((cd["element"] == elems).all(), "global element numbers of %s" % piece)
                want = np.array([mats[g] for g in elems])
                check((cd["material"] == want).all(), "materials of %s" % piece)
                print("piece %d materials %s" % (p, sorted(set(cd["material"].tolist()))))
                continue
            check((pd["node"] == np.arange(1, n + 1)).all(), "node numbers")
            check((cd["element"] == np.arange(1, e + 1)).all(), "element numbers")
            check((cd["material"] == 1).all(), "material")
            check(m.points.dtype == np.float64, "points in Float64")
            # The points are the solver's coordinates at the frame's time;
            # the animation zone of the same time holds them to 5 digits,
            # one step later (moved by the velocity over one step s).
            deck = os.path.basename(piece)[7:-4]
            zones = anim_zones(os.path.join(d, deck + "result_anim.dat"))
            if i < len(zones):
                v = pd["velocity"].astype(np.float64)
                vv = (v * v).sum()
                s = ((zones[i] - m.points) * v).sum() / vv if vv > 0 else 0.0
                check(s >= 0 and np.allclose(m.points + s * v, zones[i], rtol=1e-4,
                                             atol=1e-4 * abs(zones[i]).max()),
                      "points of %s against the animation file" % piece)
            s = np.stack([cd[k] for k in CELL[:6]], axis=1)
            sm = s[:, :3].mean(axis=1)
            check(np.allclose(-sm, cd["pressure"], rtol=1e-5, atol=1e-6 * (abs(sm).max() + 1)),
                  "pressure = -mean stress")
            if mode == "free":
                v, box = np.array(args[:3]), args[3:6]
                check((pd["velocity"] == v.astype(np.float32)).all(), "velocity of a free body")
                check((abs(s) < 1e-3).all(), "no stress in a free body")
                check(np.allclose(cd["relative_volume"], 1.0, atol=1e-6), "relative volume 1")
                du = pd["displacement"] - pd["displacement"][0]
                check((abs(du) < 1e-6).all(), "uniform displacement")
                check(np.allclose(pd["displacement"], v * t, rtol=1e-6, atol=1e-12),
                      "displacement of the frame's time")
                x0 = m.points - pd["displacement"]
                check((x0.min(axis=0) >= -1e-6 * max(box)).all(), "initial box, lower corner")
                check((x0.max(axis=0) <= np.array(box) * (1 + 1e-6)).all(), "initial box")
            elif mode == "uniaxial" and i == 1:
                young, nu = args
                lam, mu = young * nu / ((1 + nu) * (1 - 2 * nu)), young / (2 * (1 + nu))
                check(abs(s[0, 0] / s[0, 2] - nu / (1 - nu)) < 1e-5, "sxx/szz = nu/(1-nu)")
                check(abs(s[0, 1] - s[0, 0]) <= 1e-6 * abs(s[0, 0]), "sxx = syy")
                check((abs(s[0, 3:]) <= 1e-6 * abs(s[0, 2])).all(), "no shear")
                check(abs(cd["equivalent_stress"][0] - abs(s[0, 2] - s[0, 0])) <=
                      1e-5 * abs(s[0, 2]), "equivalent stress = |szz - sxx|")
                check(s[0, 2] < 0, "compression")
                print("uniaxial szz %.6e sxx %.6e 2G+lambda %.6e" % (s[0, 2], s[0, 0], lam + 2 * mu))
        print("frame %d time %.9e pieces %d points %d cells %d" % (i, t, len(pieces), npts, ncells))
    check(nframes > 0, "no frames")
    check(times == sorted(times), "times in order")
    if failures:
        print("FAILED:\n  " + "\n  ".join(failures))
        sys.exit(1)
    print("OK")


main()
