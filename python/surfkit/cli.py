"""The surfkit command line: one operation on a mesh file, read and written with meshio.

    python3 -m surfkit OPERATION INPUT OUTPUT [options]
    python3 -m surfkit info INPUT
    python3 -m surfkit batch OPERATION INPUT... --output-dir DIR [options]

Every file format meshio reads and writes works (.vtu, .vtk, .msh, .obj, .stl, .ply, ...).
A bad file or a bad option ends with one line on stderr and a non-zero exit code.
"""

import argparse
import contextlib
import io
import math
import os
import sys

import numpy as np

from . import _meshes as mx
from ._errors import ArgumentError
from ._kinds import NONE
from ._progress import Progress


class UsageError(Exception):
    """A bad command line (exit code 2)."""


class _Parser(argparse.ArgumentParser):
    # argparse prints the usage and exits; the command line reports one line instead.
    def error(self, message):
        raise UsageError("%s (see %s --help)" % (message, self.prog))


def _meshio():
    import meshio

    return meshio


def _read(path, progress):
    if not os.path.exists(path):
        raise mx.MeshError("%s: no such file" % path)
    # meshio prints its reader's complaints and exits on a file no reader takes; keep its
    # output and turn the exit into the command's one-line error.
    chatter = io.StringIO()
    with progress.step("reading " + os.path.basename(path)):
        try:
            with contextlib.redirect_stdout(chatter), contextlib.redirect_stderr(chatter):
                mesh = _meshio().read(path)
        except (Exception, SystemExit) as error:
            said = [line for line in chatter.getvalue().splitlines() if line.strip()]
            reason = said[0] if said else _one_line(error)
            raise mx.MeshError("%s: cannot read the mesh (%s)" % (path, reason.strip()))
    mx.check_ids(mesh, path)
    return mesh


def _file_format(path):
    # meshio would write .msh as ANSYS; Gmsh is the one meant, in its 2.2 format, which
    # (unlike 4.1) takes several cell kinds without Gmsh's entity tags.
    return "gmsh22" if path.lower().endswith(".msh") else None


def _write(path, mesh, progress):
    with progress.step("writing " + os.path.basename(path)):
        try:
            _meshio().write(path, mesh, file_format=_file_format(path))
        except Exception as error:
            if os.path.exists(path):
                os.remove(path)  # no half-written file
            raise mx.MeshError("%s: cannot write the mesh (%s)" % (path, _one_line(error)))


def _one_line(error):
    text = str(error).strip().replace("\n", " ")
    return text or type(error).__name__


def _surface(mesh, allow_quadratic=False):
    blocks = mx.face_blocks(mesh, allow_quadratic)
    if not blocks:
        raise mx.MeshError("the mesh has no triangles or quadrangles")
    return blocks, mx.face_mix(mesh, blocks)


def _mesh(points, cells, point_data=None, cell_data=None):
    meshio = _meshio()
    if points.shape[1] == 2:
        points = np.hstack([points, np.zeros((len(points), 1))])
    # Cells as int64, meshio's usual dtype, which every writer takes.
    kept = [(kind, np.asarray(data, dtype=np.int64)) for kind, data in cells if len(data)]
    return meshio.Mesh(points, kept, point_data=point_data or {}, cell_data=cell_data or {})


def _blocks_back(mesh, blocks, cells):
    """The (m, 3|4) rows of `cells` cut back into the input's blocks, with their data."""
    out = []
    for i, start, stop in mx.block_slices(mesh, blocks):
        kind = mesh.cells[i].type
        part = cells[start:stop]
        out.append((kind, part[:, :3] if kind == "triangle" else part))
    data = {}
    for name, arrays in mesh.cell_data.items():
        data[name] = [arrays[i] for i in blocks]
    return out, data


def _neighbours(cells, node_count, progress):
    from . import neighbours

    with progress.step("matching edges"):
        return neighbours(cells, node_count)[0]


# ---- Operations ---------------------------------------------------------------------------


def op_info(args, progress):
    from . import angles, area, boundary_loops

    mesh = _read(args.input, progress)
    points = np.asarray(mesh.points)
    lines = ["points      %d (%d-D%s)" % (len(points), points.shape[1],
                                          ", plane" if mx.is_planar(mesh) else "")]
    kinds = ", ".join("%s %d" % (b.type, len(b.data)) for b in mesh.cells) or "none"
    lines.append("cells       " + kinds)
    blocks = mx.face_blocks(mesh, allow_quadratic=True)
    if blocks:
        cells = mx.face_mix(mesh, blocks)
        xyz = mx.points_for(mesh, 3)
        neighbours = _neighbours(cells, len(xyz), progress)
        with progress.step("measuring"):
            _, _, loops = boundary_loops(cells, neighbours)
            total = area(xyz, cells)
            smallest, largest = angles(xyz, cells)
        # Every boundary edge is in one loop; a closed loop repeats its first node.
        edges = int(np.count_nonzero(neighbours == NONE)) - int(np.count_nonzero(cells == NONE))
        lines.append("boundary    %d loop%s, %d edges" % (loops, "" if loops == 1 else "s",
                                                        edges))
        lines.append("area        %.10g" % total)
        if len(smallest):
            lines.append("angles      %.4g to %.4g degrees"
                         % (math.degrees(smallest.min()), math.degrees(largest.max())))
    for name in mesh.point_data:
        lines.append("point data  " + name)
    for name in mesh.cell_data:
        lines.append("cell data   " + name)
    progress.close()
    print("\n".join(lines))
    return 0


def op_quadratic(args, progress):
    from . import convert_mixed

    mesh = _read(args.input, progress)
    blocks, cells = _surface(mesh)
    triangles, quads = mx.split_face_mix(cells)
    planar = mx.is_planar(mesh)
    xyz = mx.points_for(mesh, 2 if planar else 3)
    q = 1 if args.quad == "Q9" else 0
    with progress.step("adding nodes"):
        xyz, quads, triangles = convert_mixed(xyz, quads, triangles, 1, q, 0)
    out_cells = []
    tri_at = quad_at = 0
    for i in blocks:
        n = len(mesh.cells[i].data)
        if mesh.cells[i].type == "triangle":
            out_cells.append(("triangle6", triangles[tri_at:tri_at + n][:, mx.T6_TO_VTK]))
            tri_at += n
        else:
            out_cells.append(("quad9" if q else "quad8", quads[quad_at:quad_at + n]))
            quad_at += n
    cell_data = {name: [arrays[i] for i in blocks] for name, arrays in mesh.cell_data.items()}
    _write(args.output, _mesh(xyz, out_cells, cell_data=cell_data), progress)
    return 0


def op_split(args, progress):
    from . import split_into_Q4, split_Q4_into_T3

    mesh = _read(args.input, progress)
    blocks, cells = _surface(mesh)
    planar = mx.is_planar(mesh)
    xyz = mx.points_for(mesh, 2 if planar else 3)
    if args.into == "quads":
        triangles, quads = mx.split_face_mix(cells)
        with progress.step("splitting into quadrangles"):
            xyz, out = split_into_Q4(xyz, quads, triangles)
        out_cells = [("quad", out)]
    else:
        if cells.shape[1] == 3:
            cells = np.hstack([cells, np.full((len(cells), 1), NONE, dtype=np.uint32)])
        with progress.step("cutting quadrangles"):
            _, _, out, _ = split_Q4_into_T3(xyz, cells, args.shape_threshold,
                                            args.angle_threshold, args.criterion)
        triangles, quads = mx.split_face_mix(out)
        out_cells = [("triangle", triangles), ("quad", quads)]
    _write(args.output, _mesh(xyz, out_cells), progress)
    return 0


def op_reorient(args, progress):
    from . import mesh_reorient

    mesh = _read(args.input, progress)
    blocks, cells = _surface(mesh)
    neighbours = _neighbours(cells, len(mesh.points), progress)
    with progress.step("reorienting"):
        cells, _, reversed_count = mesh_reorient(cells, neighbours, args.start, 1)
    out_cells, cell_data = _blocks_back(mesh, blocks, cells)
    _write(args.output, _mesh(np.asarray(mesh.points, dtype=np.float64), out_cells,
                              dict(mesh.point_data), cell_data), progress)
    progress.close()
    print("reversed %d element%s" % (reversed_count, "" if reversed_count == 1 else "s"))
    return 0


def op_normals(args, progress):
    from . import normals

    mesh = _read(args.input, progress)
    blocks, cells = _surface(mesh)
    xyz = mx.points_for(mesh, 3)
    with progress.step("computing normals"):
        result = normals(xyz, cells, args.exponent, not args.no_unit)
    point_data = dict(mesh.point_data)
    point_data[args.name] = result
    out_cells, cell_data = _blocks_back(mesh, blocks, cells)
    _write(args.output, _mesh(xyz, out_cells, point_data, cell_data), progress)
    return 0


def op_curvature(args, progress):
    mesh = _read(args.input, progress)
    blocks, cells = _surface(mesh)
    if cells.shape[1] != 3:
        raise mx.MeshError("curvature needs a mesh of triangles only")
    xyz = mx.points_for(mesh, 3)
    neighbours = _neighbours(cells, len(xyz), progress)
    point_data = dict(mesh.point_data)
    if args.method == "fitted":
        from . import fitted_curvatures

        with progress.step("fitting curvatures"):
            k = fitted_curvatures(xyz, cells, neighbours, args.rings)[0]
        # Rows 0-2: the direction along which the surface bends by row 6's curvature.
        point_data.update(k_max=k[:, 6], k_min=k[:, 7], dir_k_max=k[:, 0:3],
                          dir_k_min=k[:, 3:6])
    else:
        from . import principal_curvatures

        with progress.step("normal-cycle curvatures"):
            k = principal_curvatures(xyz, cells, neighbours, args.radius,
                                     math.radians(args.max_angle))
        # The tensor's eigenvector of the largest |curvature| (rows 0-2) lies along the
        # direction of least bending; rows 3-5 are the direction across it.
        point_data.update(k_largest=k[:, 6], k_middle=k[:, 7], dir_least_bending=k[:, 0:3],
                          dir_most_bending=k[:, 3:6])
    out_cells, cell_data = _blocks_back(mesh, blocks, cells)
    _write(args.output, _mesh(xyz, out_cells, point_data, cell_data), progress)
    return 0


def op_extrude(args, progress):
    from . import (extrude_rotate_Q4, extrude_rotate_T3, extrude_spiral_Q4, extrude_spiral_T3,
                   extrude_translate_Q4, extrude_translate_T3)

    mesh = _read(args.input, progress)
    lines = [np.asarray(b.data)[:, :2] for b in mesh.cells if b.type in ("line", "line3")]
    if not lines:
        raise mx.MeshError("extrude needs a line mesh (cells of kind 'line')")
    line = np.concatenate(lines)
    planar = mx.is_planar(mesh)
    motions = [m for m in (args.translate, args.angle, args.axis) if m is not None]
    if len(motions) != 1:
        raise UsageError("give exactly one of --translate, --angle, --axis (see extrude --help)")
    triangles = args.triangles
    # The arguments after the motion, in the C++ order of the count or sizing form.
    if args.sizes is None:
        tail = (args.layers, args.pattern) if triangles else (args.layers,)
    else:
        h0, h1 = args.sizes
        tail = (h0, h1, args.pattern, args.even) if triangles else (h0, h1, args.even)
    if args.translate is not None:
        d = list(args.translate)
        if len(d) not in (2, 3):
            raise UsageError("--translate takes 2 or 3 values")
        if len(d) == 2 and not planar:
            d.append(0.0)
        xyz = mx.points_for(mesh, 2 if len(d) == 2 else 3)
        call, head = (extrude_translate_T3 if triangles else extrude_translate_Q4), (d,)
    elif args.angle is not None:
        xyz = mx.points_for(mesh, 2 if planar else None)
        call = extrude_rotate_T3 if triangles else extrude_rotate_Q4
        head = (args.centre, math.radians(args.angle))
    elif args.screw is None:
        xyz = mx.points_for(mesh, 3)
        call = extrude_rotate_T3 if triangles else extrude_rotate_Q4
        head = (args.point, args.axis)
    else:
        xyz = mx.points_for(mesh, 3)
        call = extrude_spiral_T3 if triangles else extrude_spiral_Q4
        head = (args.point, args.axis, args.screw)
    with progress.step("extruding"):
        xyz, surface = call(xyz, line, *head, *tail)
    kind = "triangle" if triangles else "quad"
    _write(args.output, _mesh(xyz, [(kind, surface)]), progress)
    return 0


# ---- Command line ---------------------------------------------------------------------------


def _parser():
    parser = _Parser(prog="surfkit", description="Mesh tools over meshio files.")
    sub = parser.add_subparsers(dest="operation", metavar="OPERATION", parser_class=_Parser)
    sub.required = True

    def add(name, help_text, func, output=True, steps=3):
        # steps: the long steps the operation shows on the progress bar.
        p = sub.add_parser(name, help=help_text, description=help_text)
        p.add_argument("input", metavar="INPUT", help="mesh file meshio reads")
        if output:
            p.add_argument("output", metavar="OUTPUT", help="mesh file to write (format by suffix)")
        p.set_defaults(func=func, steps=steps)
        return p

    add("info", "Counts, kinds, boundary loops, area and angle range of a mesh.", op_info,
        output=False)

    p = add("quadratic", "Quadratic elements: triangles become T6, quadrangles Q8 or Q9.",
            op_quadratic)
    p.add_argument("--quad", choices=("Q8", "Q9"), default="Q8",
                   help="quadrangle kind (default Q8)")

    p = add("split", "Split into quadrangles, or cut quadrangles into triangles.", op_split)
    p.add_argument("--into", choices=("quads", "triangles"), required=True)
    p.add_argument("--shape-threshold", type=float, default=2.0,
                   help="triangles: keep quadrangles of at least this shape quality "
                        "(1 = square; default 2 cuts them all)")
    p.add_argument("--angle-threshold", type=float, default=0.0,
                   help="triangles: ... and at least this angle quality (default 0)")
    p.add_argument("--criterion", type=int, default=1, choices=range(1, 7),
                   help="triangles: how the diagonal is chosen: 1 shape, 2 largest angle, "
                        "3 larger area, 4 area sum, 5 normal angle, 6 normal angle times "
                        "diagonal (default 1)")

    p = add("reorient", "Give every element the orientation of a start element.", op_reorient,
            steps=4)
    p.add_argument("--start", type=int, default=0, help="element whose orientation wins")

    p = add("normals", "Node normals as point data.", op_normals)
    p.add_argument("--exponent", type=float, default=1.0,
                   help="weight of each element: its area to this power (default 1)")
    p.add_argument("--no-unit", action="store_true", help="keep the weighted mean's length")
    p.add_argument("--name", default="normals", help="point-data name (default normals)")

    p = add("curvature", "Principal curvatures and directions as point data.", op_curvature,
            steps=4)
    p.add_argument("--method", choices=("fitted", "normal-cycle"), default="fitted",
                   help="fitted (quadric fit; arrays k_max, k_min, dir_k_max, dir_k_min, "
                        "max/min by absolute value) or normal-cycle (arrays k_largest, "
                        "k_middle, dir_least_bending, dir_most_bending); default fitted")
    p.add_argument("--rings", type=int, default=2, help="fitted: rings of neighbours (1-3)")
    p.add_argument("--radius", type=float, default=0.0,
                   help="normal-cycle: patch radius (default 0: one ring)")
    p.add_argument("--max-angle", type=float, default=180.0,
                   help="normal-cycle: patch growth stops at edges sharper than this (degrees)")

    p = add("extrude", "Sweep a line mesh into a band of quadrangles or triangles.", op_extrude)
    p.add_argument("--translate", type=float, nargs="+", metavar="D",
                   help="translation vector (2 or 3 values)")
    p.add_argument("--angle", type=float, help="plane rotation by this angle (degrees)")
    p.add_argument("--centre", type=float, nargs=2, default=[0.0, 0.0], metavar=("X", "Y"),
                   help="centre of the plane rotation (default 0 0)")
    p.add_argument("--axis", type=float, nargs=3, metavar=("VX", "VY", "VZ"),
                   help="rotation vector in space (angle |v| radians)")
    p.add_argument("--point", type=float, nargs=3, default=[0.0, 0.0, 0.0],
                   metavar=("X", "Y", "Z"), help="a point of the rotation axis")
    p.add_argument("--screw", type=float, nargs=3, metavar=("TX", "TY", "TZ"),
                   help="with --axis: translation of the screw motion")
    p.add_argument("--layers", type=int, default=10, help="layer count (default 10)")
    p.add_argument("--sizes", type=float, nargs=2, metavar=("H0", "H1"),
                   help="graded layers from size H0 at the line to H1 at the far end")
    p.add_argument("--even", action="store_true", help="with --sizes: an even layer count")
    p.add_argument("--triangles", action="store_true", help="triangles instead of quadrangles")
    p.add_argument("--pattern", type=int, default=0, choices=(0, 1, 2),
                   help="triangle diagonals: 0 c1-c3, 1 c0-c2, 2 alternate (default 0)")
    # Listed for --help; main hands `batch` to its own module before parsing.
    sub.add_parser("batch", add_help=False,
                   help="One operation over many files, on this machine's cores or a Dask "
                        "cluster (surfkit batch --help).")
    return parser


def main(argv=None):
    """Runs one command line; returns the exit code."""
    argv = sys.argv[1:] if argv is None else list(argv)
    if argv[:1] == ["batch"]:
        from ._batch import main as batch

        return batch(argv[1:])
    try:
        args = _parser().parse_args(argv)
        if args.operation == "extrude" and args.screw is not None and args.axis is None:
            raise UsageError("--screw needs --axis (see extrude --help)")
        progress = Progress(total_steps=args.steps)
        try:
            return args.func(args, progress)
        finally:
            progress.close()
    except UsageError as error:
        sys.stderr.write("surfkit: error: %s\n" % error)
        return 2
    except ArgumentError as error:
        sys.stderr.write("surfkit: error: %s\n" % _one_line(error))
        return 1
    except (mx.MeshError, OSError, ValueError, MemoryError) as error:
        sys.stderr.write("surfkit: error: %s\n" % _one_line(error))
        return 1
    except KeyboardInterrupt:
        sys.stderr.write("surfkit: interrupted\n")
        return 130
