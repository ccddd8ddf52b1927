#!/usr/bin/python3
"""Draws the last field frame of a run as ParaView does, with VTK's own
reader and surface filters, and checks that the surface drawn is the
boundary of the elements that survive.

    surface_check.py DIR

For the last frame of DIR/field.pvd: the pieces' surviving cells (those not
flagged as ghosts, with damage below 1) and, from their connectivity alone,
the faces that exactly one surviving cell of the piece uses (a piece is
drawn on its own, so the faces between two pieces count in both). The
surfaces of vtkDataSetSurfaceFilter and vtkGeometryFilter over the .pvtu,
and of both after vtkReflectionFilter (the mirror doubles every face), must hold exactly those faces, each as often. Faces are
compared by the coordinates of their corners, so that the pieces' own
numberings do not matter.

Prints "cells N survivors S boundary B surface F geometry G reflected R1 R2" and
"OK" when the surfaces agree; exits 1 with the differences otherwise, 2 when
python's vtk module is missing."""
import os
import sys
import xml.etree.ElementTree as ET
from collections import Counter

try:
    import vtk
    from vtk.util.numpy_support import vtk_to_numpy
except ImportError:
    print("no vtk module")
    sys.exit(2)
import numpy as np

# The faces of a VTK hexahedron by its corners.
HEXFACES = [(0, 3, 2, 1), (4, 5, 6, 7), (0, 1, 5, 4), (1, 2, 6, 5), (2, 3, 7, 6), (3, 0, 4, 7)]


def lastframe(d):
    sets = list(ET.parse(os.path.join(d, "field.pvd")).getroot().iter("DataSet"))
    return os.path.join(d, sets[-1].get("file"))


def read(reader, path):
    r = reader()
    r.SetFileName(path)
    r.Update()
    return r.GetOutput()


def pointkeys(points, scale):
    """One integer triple per point: the coordinates to 1e-9 of the model."""
    return [tuple(k) for k in np.rint(points / scale * 1e9).astype(np.int64)]


def survivors(grid):
    """Corners of the cells a renderer keeps: not ghosts, damage below 1."""
    n = grid.GetNumberOfCells()
    conn = vtk_to_numpy(grid.GetCells().GetConnectivityArray()).reshape(n, 8)
    keep = np.ones(n, dtype=bool)
    cd = grid.GetCellData()
    if cd.GetArray("vtkGhostType") is not None:
        keep &= vtk_to_numpy(cd.GetArray("vtkGhostType")) == 0
    if cd.GetArray("damage") is not None:
        keep &= vtk_to_numpy(cd.GetArray("damage")) < 1.0
    return conn[keep]


def boundary(grid, scale):
    """Faces used by exactly one surviving cell of the piece."""
    keys = pointkeys(vtk_to_numpy(grid.GetPoints().GetData()), scale)
    used = Counter()
    for cell in survivors(grid):
        for f in HEXFACES:
            used[frozenset(keys[cell[i]] for i in f)] += 1
    return Counter({f: 1 for f, n in used.items() if n == 1})


def drawn(poly, scale):
    """The faces of a surface, by the coordinates of their corners."""
    keys = pointkeys(vtk_to_numpy(poly.GetPoints().GetData()), scale)
    polys = poly.GetPolys()
    out = Counter()
    ids = vtk.vtkIdList()
    polys.InitTraversal()
    while polys.GetNextCell(ids):
        out[frozenset(keys[ids.GetId(i)] for i in range(ids.GetNumberOfIds()))] += 1
    return out


def surface(filt, data):
    f = filt()
    f.SetInputData(data)
    f.Update()
    return f.GetOutput()


def main():
    d = sys.argv[1]
    pvtu = lastframe(d)
    whole = read(vtk.vtkXMLPUnstructuredGridReader, pvtu)
    pts = vtk_to_numpy(whole.GetPoints().GetData())
    scale = float(np.abs(pts).max()) or 1.0
    want = Counter()
    ncells = nsurv = 0
    for p in ET.parse(pvtu).getroot().iter("Piece"):
        piece = read(vtk.vtkXMLUnstructuredGridReader,
                     os.path.join(os.path.dirname(pvtu), p.get("Source")))
        ncells += piece.GetNumberOfCells()
        nsurv += len(survivors(piece))
        want += boundary(piece, scale)
    faults = []
    got = drawn(surface(vtk.vtkDataSetSurfaceFilter, whole), scale)
    geom = drawn(surface(vtk.vtkGeometryFilter, whole), scale)
    refl = vtk.vtkReflectionFilter()
    refl.SetInputData(whole)
    refl.SetPlaneToXMin()
    refl.CopyInputOn()
    refl.Update()
    nrefl = [surface(f, refl.GetOutput()).GetNumberOfPolys()
             for f in (vtk.vtkDataSetSurfaceFilter, vtk.vtkGeometryFilter)]
    for name, faces in (("surface filter", got), ("geometry filter", geom)):
        if faces != want:
            faults.append("%s: %d faces missing, %d too many" %
                          (name, sum((want - faces).values()), sum((faces - want).values())))
    if nrefl != [2 * sum(want.values())] * 2:
        faults.append("reflected: %d and %d faces, not %d" %
                      (nrefl[0], nrefl[1], 2 * sum(want.values())))
    print("cells %d survivors %d boundary %d surface %d geometry %d reflected %d %d" %
          (ncells, nsurv, sum(want.values()), sum(got.values()), sum(geom.values()), nrefl[0],
           nrefl[1]))
    if faults:
        print("FAILED:\n  " + "\n  ".join(faults))
        sys.exit(1)
    print("OK")


main()
