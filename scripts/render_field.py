#!/usr/bin/python3
"""Renders one response field of `vokdyn harmonic --fields` to a PNG, headless.

    render_field.py FIELD.vtu IMAGE.png [--phase DEG] [--size WxH]

The mesh is drawn deformed by the operating deflection shape at a phase,
Re(U e^(i phase)) = U_real cos(phase) - U_imag sin(phase) (by default the
phase of the largest deflection), scaled so
that the largest displacement is a tenth of the model's size, and coloured
by the displacement amplitude |U|; the undeformed mesh is drawn as edges.
Uses VTK's Python modules (Debian package python3-vtk9) with off-screen
rendering; without a display it needs a virtual one (xvfb-run).
"""
import argparse
import math

from vtkmodules.vtkCommonCore import vtkDoubleArray
from vtkmodules.vtkFiltersCore import vtkAssignAttribute
from vtkmodules.vtkFiltersGeneral import vtkWarpVector
from vtkmodules.vtkFiltersGeometry import vtkDataSetSurfaceFilter
from vtkmodules.vtkIOImage import vtkPNGWriter
from vtkmodules.vtkIOXML import vtkXMLUnstructuredGridReader
from vtkmodules.vtkRenderingAnnotation import vtkScalarBarActor
from vtkmodules.vtkRenderingCore import (vtkActor, vtkDataSetMapper, vtkRenderer, vtkRenderWindow,
                                         vtkWindowToImageFilter)
import vtkmodules.vtkRenderingOpenGL2  # noqa: F401  (the rendering back end)
import vtkmodules.vtkInteractionStyle  # noqa: F401


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("field")
    parser.add_argument("image")
    parser.add_argument("--phase", type=float, help="phase of the deflection, degrees (default: the largest)")
    parser.add_argument("--size", default="900x600")
    args = parser.parse_args()
    width, height = (int(v) for v in args.size.split("x"))

    reader = vtkXMLUnstructuredGridReader()
    reader.SetFileName(args.field)
    reader.Update()
    grid = reader.GetOutput()
    data = grid.GetPointData()
    re, im = data.GetArray("U_real"), data.GetArray("U_imag")
    points = range(grid.GetNumberOfPoints())
    if args.phase is None:
        # |re cos t - im sin t|^2 summed over the nodes is largest where
        # tan 2t = -2 re.im / (re.re - im.im).
        rr = sum(sum(x * x for x in re.GetTuple3(p)) for p in points)
        ii = sum(sum(x * x for x in im.GetTuple3(p)) for p in points)
        ri = sum(sum(a * b for a, b in zip(re.GetTuple3(p), im.GetTuple3(p))) for p in points)
        phase = 0.5 * math.atan2(-2.0 * ri, rr - ii)
    else:
        phase = math.radians(args.phase)
    c, s = math.cos(phase), math.sin(phase)
    shape = vtkDoubleArray()
    shape.SetName("deflection")
    shape.SetNumberOfComponents(3)
    largest = 0.0
    for p in range(grid.GetNumberOfPoints()):
        v = [a * c - b * s for a, b in zip(re.GetTuple3(p), im.GetTuple3(p))]
        largest = max(largest, math.sqrt(sum(x * x for x in v)))
        shape.InsertNextTuple3(*v)
    data.AddArray(shape)
    bounds = grid.GetBounds()
    size = max(bounds[1] - bounds[0], bounds[3] - bounds[2], bounds[5] - bounds[4])

    vectors = vtkAssignAttribute()
    vectors.SetInputData(grid)
    vectors.Assign("deflection", "VECTORS", "POINT_DATA")
    warp = vtkWarpVector()
    warp.SetInputConnection(vectors.GetOutputPort())
    warp.SetScaleFactor(0.1 * size / largest if largest > 0 else 0.0)
    surface = vtkDataSetSurfaceFilter()
    surface.SetInputConnection(warp.GetOutputPort())

    amplitude = data.GetArray("U_amplitude")
    mapper = vtkDataSetMapper()
    mapper.SetInputConnection(surface.GetOutputPort())
    mapper.SetScalarModeToUsePointFieldData()
    mapper.SelectColorArray("U_amplitude")
    table = mapper.GetLookupTable()
    table.SetVectorModeToMagnitude()
    table.SetHueRange(0.667, 0.0)
    table.Build()
    magnitudes = [math.sqrt(sum(x * x for x in amplitude.GetTuple3(p))) for p in range(grid.GetNumberOfPoints())]
    mapper.SetScalarRange(min(magnitudes), max(magnitudes))
    deformed = vtkActor()
    deformed.SetMapper(mapper)

    edges = vtkDataSetMapper()
    edges.SetInputData(grid)
    edges.ScalarVisibilityOff()
    undeformed = vtkActor()
    undeformed.SetMapper(edges)
    undeformed.GetProperty().SetRepresentationToWireframe()
    undeformed.GetProperty().SetColor(0.6, 0.6, 0.6)

    bar = vtkScalarBarActor()
    bar.SetLookupTable(table)
    bar.SetTitle("|U|")
    bar.SetNumberOfLabels(4)
    bar.SetPosition(0.1, 0.1)
    bar.SetWidth(0.8)
    bar.SetHeight(0.8)

    renderer = vtkRenderer()
    renderer.SetBackground(1.0, 1.0, 1.0)
    renderer.SetViewport(0.0, 0.0, 0.86, 1.0)
    for actor in (deformed, undeformed):
        renderer.AddActor(actor)
    legend = vtkRenderer()
    legend.SetBackground(1.0, 1.0, 1.0)
    legend.SetViewport(0.86, 0.0, 1.0, 1.0)
    legend.AddActor(bar)
    bar.GetTitleTextProperty().SetColor(0, 0, 0)
    bar.GetLabelTextProperty().SetColor(0, 0, 0)
    camera = renderer.GetActiveCamera()
    # Looking along x with y up: a beam along z lies across the picture.
    camera.SetPosition(1.0, 0.35, 0.25)
    camera.SetFocalPoint(0.0, 0.0, 0.0)
    camera.SetViewUp(0.0, 1.0, 0.0)
    renderer.ResetCamera()
    camera.Zoom(0.9)

    window = vtkRenderWindow()
    window.SetOffScreenRendering(1)
    window.AddRenderer(renderer)
    window.AddRenderer(legend)
    window.SetSize(width, height)
    window.Render()
    image = vtkWindowToImageFilter()
    image.SetInput(window)
    image.Update()
    writer = vtkPNGWriter()
    writer.SetFileName(args.image)
    writer.SetInputConnection(image.GetOutputPort())
    writer.Write()


if __name__ == "__main__":
    main()
