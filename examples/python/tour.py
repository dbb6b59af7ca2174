#!/usr/bin/python3
"""A tour of surfkit from Python: every family on a real-looking surface.

    PYTHONPATH=build/default/python /usr/bin/python3 examples/python/tour.py [OUTPUT_DIR]

Writes one .vtu file per step (open them in ParaView) and PNG pictures drawn with
matplotlib into OUTPUT_DIR (default build/tour-python).
"""

import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import meshio  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.collections import PolyCollection  # noqa: E402
from mpl_toolkits.mplot3d.art3d import Poly3DCollection  # noqa: E402

import surfkit  # noqa: E402

NONE = surfkit.NONE


# ---- Surfaces made here ------------------------------------------------------------------


def icosphere(subdivisions):
    """Unit geodesic sphere, outward counter-clockwise triangles."""
    t = (1 + 5 ** 0.5) / 2
    points = np.array([(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0), (0, -1, t), (0, 1, t),
                       (0, -1, -t), (0, 1, -t), (t, 0, -1), (t, 0, 1), (-t, 0, -1), (-t, 0, 1)],
                      float)
    cells = np.array([(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9),
                      (5, 11, 4), (11, 10, 2), (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2),
                      (3, 2, 6), (3, 6, 8), (3, 8, 9), (4, 9, 5), (2, 4, 11), (6, 2, 10),
                      (8, 6, 7), (9, 8, 1)], np.uint32)
    for _ in range(subdivisions):
        # Quadratic conversion puts one node on every edge: exactly the midpoints a
        # subdivision needs, shared between neighbours. T6 rows 3, 4, 5 sit on the edges
        # (1,2), (2,0), (0,1).
        points, t6 = surfkit.convert_T3(points, cells)
        a, b, c, bc, ca, ab = t6.T
        cells = np.concatenate([np.column_stack(x) for x in
                                ((a, ab, ca), (b, bc, ab), (c, ca, bc), (ab, bc, ca))])
    return points / np.linalg.norm(points, axis=1)[:, None], cells


def bumpy_sphere(subdivisions=4, seed=3):
    """A scanned-looking blob: a sphere with smooth random bumps."""
    points, cells = icosphere(subdivisions)
    rng = np.random.default_rng(seed)
    centres = rng.normal(size=(12, 3))
    centres /= np.linalg.norm(centres, axis=1)[:, None]
    bumps = sum(0.12 * rng.uniform(-1, 1) * np.exp(-8 * np.sum((points - c) ** 2, axis=1))
                for c in centres)
    return points * (1 + bumps)[:, None], cells


def torus(n_major=48, n_minor=24, major=3.0, minor=1.0):
    u, v = np.meshgrid(np.linspace(0, 2 * np.pi, n_major, endpoint=False),
                       np.linspace(0, 2 * np.pi, n_minor, endpoint=False), indexing="ij")
    points = np.column_stack([((major + minor * np.cos(v)) * np.cos(u)).ravel(),
                              ((major + minor * np.cos(v)) * np.sin(u)).ravel(),
                              (minor * np.sin(v)).ravel()])
    i, j = np.meshgrid(np.arange(n_major), np.arange(n_minor), indexing="ij")
    a = (i * n_minor + j).ravel()
    b = (((i + 1) % n_major) * n_minor + j).ravel()
    c = (((i + 1) % n_major) * n_minor + (j + 1) % n_minor).ravel()
    d = (i * n_minor + (j + 1) % n_minor).ravel()
    return points, np.column_stack([a, b, c, d]).astype(np.uint32)


# ---- Output ------------------------------------------------------------------------------


def write(folder, name, points, cells, point_data=None, cell_data=None):
    """A .vtu file of the library's arrays: to_meshio splits a FACE_MIX array into
    triangle and quad blocks, writes T6 in meshio's node order and pads plane points."""
    mesh = surfkit.to_meshio(points, cells, point_data=point_data, cell_data=cell_data)
    meshio.write(os.path.join(folder, name + ".vtu"), mesh)


def faces_of(cells):
    """Polygons of a FACE_MIX or T3/Q4 array as lists of vertex IDs."""
    return [[v for v in row if v != NONE] for row in np.asarray(cells)]


def draw_3d(ax, points, cells, values=None, cmap="viridis", light=True, edges=True):
    polys = [points[f] for f in faces_of(cells)]
    coll = Poly3DCollection(polys, linewidths=0.15 if edges else 0,
                            edgecolors="k" if edges else "none")
    if values is not None:
        norm = plt.Normalize(np.min(values), np.max(values))
        colours = plt.get_cmap(cmap)(norm(values))
    else:
        colours = np.tile([0.75, 0.8, 0.9, 1.0], (len(polys), 1))
    if light:
        n = np.array([np.cross(p[1] - p[0], p[-1] - p[0]) for p in polys])
        n /= np.maximum(np.linalg.norm(n, axis=1), 1e-300)[:, None]
        shade = 0.55 + 0.45 * np.clip(n @ np.array([0.4, -0.5, 0.75]), 0, 1)
        colours = colours.copy()
        colours[:, :3] *= shade[:, None]
    coll.set_facecolor(colours)
    ax.add_collection3d(coll)
    lo, hi = points.min(axis=0), points.max(axis=0)
    centre, half = (lo + hi) / 2, (hi - lo).max() / 2
    for set_lim, c in zip((ax.set_xlim, ax.set_ylim, ax.set_zlim), centre):
        set_lim(c - half, c + half)
    ax.set_axis_off()


def draw_2d(ax, points, cells, values=None, cmap="viridis"):
    polys = [points[f, :2] for f in faces_of(cells)]
    coll = PolyCollection(polys, edgecolors="k", linewidths=0.3)
    if values is None:
        coll.set_facecolor((0.8, 0.85, 0.95))
    else:
        coll.set_array(np.asarray(values))
        coll.set_cmap(cmap)
    ax.add_collection(coll)
    ax.autoscale()
    ax.set_aspect("equal")
    ax.set_axis_off()
    return coll


def side_by_side(*panels):
    """A figure of 3-D views, one per (points, cells, title)."""
    fig = plt.figure(figsize=(4.5 * len(panels), 4.5))
    for k, (points, cells, title) in enumerate(panels):
        ax = fig.add_subplot(1, len(panels), k + 1, projection="3d")
        draw_3d(ax, points, cells)
        ax.set_title(title)
    return fig


def save(fig, folder, name):
    fig.savefig(os.path.join(folder, name + ".png"), dpi=90, bbox_inches="tight")
    plt.close(fig)
    print("  " + name + ".png")


# ---- The tour ------------------------------------------------------------------------------


def geometry(folder):
    """Normals and curvatures of the bumpy sphere, area and angles."""
    points, cells = bumpy_sphere()
    print("geometry: %d triangles, area %.4f (sphere 4 pi = %.4f)"
          % (len(cells), surfkit.area(points, cells), 4 * math.pi))
    normals = surfkit.normals(points, cells)
    # Two estimates: the fitted one converges under refinement, the normal-cycle one
    # averages over a patch (here of radius 0.15). Both give k1 >= k2, the directions in
    # which the surface bends by each, and the mean and Gaussian curvatures; a surface
    # bending away from its normal (this outward blob) has negative curvatures.
    fitted = surfkit.fitted_curvatures(points, cells, rings=2)
    cycle = surfkit.principal_curvatures(points, cells, radius=0.15)
    mean = fitted.mean
    smallest, largest = surfkit.angles(points, cells, normalised=True)
    write(folder, "geometry", points, cells,
          {"normals": normals, "mean_curvature": fitted.mean,
           "gaussian_curvature": fitted.gaussian, "k1": fitted.k1, "k2": fitted.k2,
           "dir_k1": fitted.dir_k1, "mean_curvature_normal_cycle": cycle.mean},
          {"smallest_angle": smallest, "largest_angle": largest})
    fig = plt.figure(figsize=(9, 4.5))
    ax = fig.add_subplot(1, 2, 1, projection="3d")
    draw_3d(ax, points, cells, edges=False)
    step = max(1, len(points) // 400)
    p, n = points[::step], normals[::step]
    ax.quiver(p[:, 0], p[:, 1], p[:, 2], n[:, 0], n[:, 1], n[:, 2], length=0.15,
              color="crimson", linewidth=0.6)
    ax.set_title("node normals")
    ax = fig.add_subplot(1, 2, 2, projection="3d")
    draw_3d(ax, points, cells, mean[cells].mean(axis=1), cmap="coolwarm", edges=False)
    ax.set_title("mean curvature (fitted)")
    save(fig, folder, "geometry")


def conversion(folder):
    """T6 on the torus, then splitting triangles and quadrangles into quadrangles."""
    points, quads = torus(24, 12)
    triangles, _, split = surfkit.split_Q4_into_T3(points, quads)
    cut = len(split)
    p6, t6 = surfkit.convert_T3(points, triangles)
    write(folder, "conversion_t6", p6, t6)  # to_meshio writes T6 in meshio's node order
    # A mixed mesh: half the torus as quadrangles, half as triangles, all into quadrangles.
    half = len(quads) // 2
    pq, q4 = surfkit.split_into_Q4(points, quads[:half], triangles[2 * half:])
    write(folder, "conversion_q4", pq, q4)
    print("conversion: %d quadrangles cut into %d triangles, T6 has %d nodes; split into "
          "%d quadrangles" % (cut, len(triangles), len(p6), len(q4)))
    fig = side_by_side((points, triangles, "T3 + edge nodes (T6)"),
                       (pq, q4, "split into quadrangles"))
    fig.axes[0].scatter(*p6[len(points):].T, s=2, c="crimson")
    save(fig, folder, "conversion")


def topology(folder):
    """Quality-driven cutting of a distorted quadrangle grid and reorientation."""
    rng = np.random.default_rng(7)
    x, y = np.meshgrid(np.linspace(0, 1.5, 13), np.linspace(0, 1, 9))
    points = np.column_stack([x.ravel(), y.ravel()])
    inside = (0 < points) * (points < [1.5, 1])
    points += rng.uniform(-0.025, 0.025, points.shape) * inside
    i, j = np.meshgrid(np.arange(12), np.arange(8))
    a = (j * 13 + i).ravel()
    quads = np.column_stack([a, a + 1, a + 14, a + 13]).astype(np.uint32)
    mixed, kept, split = surfkit.split_Q4_into_T3(points, quads, shape_threshold=0.75,
                                                  angle_threshold=0.75, criterion="shape")
    messy = mixed.copy()
    messy[::3, [0, 2]] = messy[::3, [2, 0]]
    tidy, _, reversed_count = surfkit.mesh_reorient(messy)  # neighbours built inside
    write(folder, "topology", points, mixed)  # FACE_MIX: triangle and quad blocks
    print("topology: %d of %d quadrangles cut below quality 0.75; %d elements reversed back"
          % (len(split), len(quads), reversed_count))
    sign = np.sign([surfkit.area(points, row[None, :]) for row in messy])
    fig, axes = plt.subplots(1, 2, figsize=(9, 3.4))
    draw_2d(axes[0], points, mixed, np.isin(np.arange(len(mixed)), np.arange(len(kept))),
            cmap="Pastel1")
    axes[0].set_title("quality split: kept quadrangles, cut ones")
    draw_2d(axes[1], points, messy, sign, cmap="coolwarm")
    axes[1].set_title("before reorientation: clockwise in blue")
    save(fig, folder, "topology")
    return tidy


def extrusion(folder):
    """A vase by rotating a profile, and a spiral ribbon."""
    z = np.linspace(0, 2, 17)
    profile = np.column_stack([0.6 + 0.3 * np.sin(2.2 * z), np.zeros_like(z), z])
    line = np.column_stack([np.arange(16), np.arange(1, 17)]).astype(np.uint32)
    # A centre of 3 values turns in space, about `axis`; the angle is in radians.
    vase_points, vase = surfkit.extrude_rotate_Q4(profile, line, [0, 0, 0], 2 * math.pi, 40,
                                                  axis=[0, 0, 1])
    bar = np.array([[0.4, 0.0, 0.0], [1.2, 0.0, 0.0]])
    # Two turns while rising by 3 (the axis defaults to the translation's direction), in
    # layers of size 0.05 rather than a layer count.
    ribbon_points, ribbon = surfkit.extrude_spiral_T3(bar, [[0, 1]], [0, 0, 0], 4 * math.pi,
                                                      [0, 0, 3], sizes=(0.05, 0.05),
                                                      pattern="alternate")
    write(folder, "extrusion_vase", vase_points, vase)
    write(folder, "extrusion_ribbon", ribbon_points, ribbon)
    print("extrusion: vase of %d quadrangles, ribbon of %d triangles" % (len(vase), len(ribbon)))
    fig = side_by_side((vase_points, vase, "rotation of a profile"),
                       (ribbon_points, ribbon, "screw motion, graded triangles"))
    save(fig, folder, "extrusion")


def structured(folder):
    """A structured grid inside a curved four-sided domain, and its size field."""
    m, n = 16, 8
    s = np.linspace(0, 1, m + 1)
    t = np.linspace(0, 1, n + 1)
    bottom = np.column_stack([3 * s, 0.3 * np.sin(np.pi * s)])
    right = np.column_stack([3 + 0.2 * np.sin(np.pi * t), t * 1.5])
    top = np.column_stack([3 * s[::-1], 1.5 + 0.3 * np.sin(np.pi * s[::-1])])
    left = np.column_stack([-0.2 * np.sin(np.pi * t[::-1]), 1.5 * t[::-1]])
    loop_points = np.concatenate([bottom[:-1], right[:-1], top[:-1], left[:-1]])
    loop = np.append(np.arange(len(loop_points)), 0).astype(np.uint32)
    points, quads = surfkit.mesh_struct_Q4(loop_points, loop, n)
    sizes = np.where(loop_points[:, 0] < 1.5, 0.05, 0.2)
    sizes = surfkit.metrics_struct(loop, n, sizes)
    write(folder, "structured", points, quads, {"size": sizes})
    print("structured: %d quadrangles, %d nodes" % (len(quads), len(points)))
    fig, ax = plt.subplots(figsize=(7, 3.6))
    coll = draw_2d(ax, points, quads, sizes[quads].mean(axis=1))
    fig.colorbar(coll, ax=ax, shrink=0.7, label="size (metrics_struct)")
    ax.set_title("mesh_struct_Q4 in a curved domain")
    save(fig, folder, "structured")


def interpolation(folder):
    """A field on a coarse background mesh carried onto scattered target nodes."""
    x, y = np.meshgrid(np.linspace(0, 1, 9), np.linspace(0, 1, 9))
    background = np.column_stack([x.ravel(), y.ravel()])
    i, j = np.meshgrid(np.arange(8), np.arange(8))
    a = (j * 9 + i).ravel()
    cells = np.concatenate([np.column_stack([a, a + 1, a + 10]),
                            np.column_stack([a, a + 10, a + 9])]).astype(np.uint32)
    targets = np.random.default_rng(1).uniform(0, 1, (600, 2))
    field = np.sin(3 * background[:, 0]) * np.cos(2 * background[:, 1])
    # probe: the field's values at arbitrary points (interpolate with the points appended
    # behind the nodes as targets, neighbours and home elements built inside).
    values = surfkit.probe(background, cells, field, targets)
    exact = np.sin(3 * targets[:, 0]) * np.cos(2 * targets[:, 1])
    print("interpolation: %d targets, largest error %.3g against the exact field"
          % (len(targets), np.abs(values - exact).max()))
    write(folder, "interpolation", background, cells, {"field": field})
    fig, ax = plt.subplots(figsize=(4.6, 4))
    draw_2d(ax, background, cells)
    sc = ax.scatter(targets[:, 0], targets[:, 1], c=values, s=9)
    fig.colorbar(sc, ax=ax, shrink=0.8)
    ax.set_title("interpolate onto 600 targets")
    save(fig, folder, "interpolation")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join("build", "tour-python")
    os.makedirs(folder, exist_ok=True)
    print("surfkit %s, writing to %s" % (surfkit.version(), folder))
    geometry(folder)
    conversion(folder)
    topology(folder)
    extrusion(folder)
    structured(folder)
    interpolation(folder)


if __name__ == "__main__":
    main()
