"""Test surfaces built in NumPy, and an independent neighbour matcher."""

import numpy as np

NONE = 0xFFFFFFFF


def icosphere(subdivisions=2, radius=1.0):
    """An icosahedron's triangles cut into four `subdivisions` times, nodes pushed onto the
    sphere; counter-clockwise seen from outside."""
    t = (1.0 + 5 ** 0.5) / 2
    pts = [(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0), (0, -1, t), (0, 1, t), (0, -1, -t),
           (0, 1, -t), (t, 0, -1), (t, 0, 1), (-t, 0, -1), (-t, 0, 1)]
    faces = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9), (5, 11, 4),
             (11, 10, 2), (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2), (3, 2, 6), (3, 6, 8),
             (3, 8, 9), (4, 9, 5), (2, 4, 11), (6, 2, 10), (8, 6, 7), (9, 8, 1)]
    points = [np.array(p, float) / np.linalg.norm(p) for p in pts]
    for _ in range(subdivisions):
        cache, new_faces = {}, []

        def mid(a, b):
            key = (min(a, b), max(a, b))
            if key not in cache:
                m = points[a] + points[b]
                points.append(m / np.linalg.norm(m))
                cache[key] = len(points) - 1
            return cache[key]

        for a, b, c in faces:
            ab, bc, ca = mid(a, b), mid(b, c), mid(c, a)
            new_faces += [(a, ab, ca), (b, bc, ab), (c, ca, bc), (ab, bc, ca)]
        faces = new_faces
    return radius * np.array(points), np.array(faces, dtype=np.uint32)


def grid(nx, ny, triangles=True):
    """Unit square split into nx by ny cells (counter-clockwise), plane points (n, 2)."""
    x, y = np.meshgrid(np.linspace(0, 1, nx + 1), np.linspace(0, 1, ny + 1))
    points = np.column_stack([x.ravel(), y.ravel()])
    i, j = np.meshgrid(np.arange(nx), np.arange(ny))
    a = (j * (nx + 1) + i).ravel()
    b, c, d = a + 1, a + nx + 2, a + nx + 1
    if triangles:
        cells = np.concatenate([np.column_stack([a, b, c]), np.column_stack([a, c, d])])
    else:
        cells = np.column_stack([a, b, c, d])
    return points, cells.astype(np.uint32)


def torus(n_major=24, n_minor=12, major=3.0, minor=1.0):
    """grid(n_major, n_minor) wrapped round both ways: node (i, j) is i * n_minor + j."""
    cells = grid(n_major, n_minor)[1].astype(np.int64)
    cells = cells % (n_major + 1) % n_major * n_minor + cells // (n_major + 1) % n_minor
    u, v = np.divmod(np.arange(n_major * n_minor), n_minor)
    u, v = 2 * np.pi * u / n_major, 2 * np.pi * v / n_minor
    ring = major + minor * np.cos(v)
    return np.column_stack([ring * np.cos(u), ring * np.sin(u), minor * np.sin(v)]), \
        cells.astype(np.uint32)


def triangle_neighbours(cells):
    """Neighbour matrix by brute-force edge matching: (e, j) is the triangle across the edge
    facing vertex j, NONE on the boundary."""
    edges = {}
    for e, tri in enumerate(np.asarray(cells).tolist()):
        for j in range(3):
            edges.setdefault(tuple(sorted((tri[j - 2], tri[j - 1]))), []).append((e, j))
    out = np.full(np.shape(cells), NONE, dtype=np.uint32)
    for holders in edges.values():
        if len(holders) == 2:
            (e, j), (f, k) = holders
            out[e, j], out[f, k] = f, e
    return out
