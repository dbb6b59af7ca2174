"""Results written with meshio and read back keep every array (.vtu and Gmsh .msh)."""

import meshio
import numpy as np
import pytest

import surfkit
from meshes import icosphere


@pytest.mark.parametrize("suffix, fmt", [(".vtu", None), (".msh", "gmsh22")])
def test_round_trip_keeps_every_array(tmp_path, suffix, fmt):
    points, cells = icosphere(2)
    t6_points, t6 = surfkit.convert_T3(points, cells, 1, 0)
    normals = surfkit.normals(t6_points, t6[:, :3])
    smallest, largest = surfkit.angles(t6_points, t6[:, :3])
    # The library's T6 lists edge nodes (1,2), (2,0), (0,1); meshio (VTK) (0,1), (1,2), (2,0).
    vtk_t6 = t6[:, [0, 1, 2, 5, 3, 4]]
    mesh = meshio.Mesh(t6_points, [("triangle6", vtk_t6)], point_data={"normals": normals},
                       cell_data={"smallest": [smallest], "largest": [largest]})
    path = tmp_path / ("mesh" + suffix)
    meshio.write(path, mesh, file_format=fmt)
    back = meshio.read(path)
    assert np.array_equal(back.points, t6_points)
    assert np.array_equal(back.cells[0].data, vtk_t6)
    assert np.array_equal(back.point_data["normals"], normals)
    assert np.array_equal(back.cell_data["smallest"][0], smallest)
    assert np.array_equal(back.cell_data["largest"][0], largest)
    # And meshio's int64 cells go straight back into the library.
    assert np.array_equal(surfkit.normals(back.points, back.cells[0].data[:, :3]), normals)
