# A picture of the perforated plate without the ParaView window: the last
# frame of a run's field.pvd mirrored across y = 0 and seen square to the
# symmetry plane x = 0, so the section through the projectile's axis shows
# the projectile, the hole's wall and the plug as solids.
#
#   pvbatch section.py RUN_DIR/field.pvd out.png [ARRAY]
#   xvfb-run -a pvbatch section.py ...   (on a machine without a display)
#
# ARRAY is the cell array to colour by (default material; plastic_strain
# and damage are the others worth a look).
import sys

from paraview.simple import (ColorBy, GetActiveViewOrCreate, PVDReader, Reflect, Render,
                             SaveScreenshot, Show)

field, picture = sys.argv[1], sys.argv[2]
array = sys.argv[3] if len(sys.argv) > 3 else "material"
run = PVDReader(FileName=field)
run.UpdatePipelineInformation()
last = run.TimestepValues[-1]
half = Reflect(Input=run)
half.Plane = "Y"
view = GetActiveViewOrCreate("RenderView")
view.ViewSize = [1200, 900]
view.ViewTime = last
shown = Show(half, view)
shown.Representation = "Surface With Edges"
ColorBy(shown, ("CELLS", array))
shown.RescaleTransferFunctionToDataRange(True, False)
view.ResetCamera()
camera = view.GetActiveCamera()
centre = camera.GetFocalPoint()
camera.SetPosition(centre[0] - 0.3, centre[1] - 0.08, centre[2] + 0.05)
camera.SetViewUp(0, 0, 1)
view.ResetCamera()
Render(view)
SaveScreenshot(picture, view, ImageResolution=[1200, 900])
print("%s: the frame at %.4g s, coloured by %s" % (picture, last, array))
