#!/usr/bin/env python3
"""Writes a PLK project whose polygons follow the planar regions of a ground-truth disparity map.

The regions are the connected parts of the ground truth where neighbouring disparities differ by
at most --step levels. Each region is shrunk by --margin pixels (left image) or --right-margin
pixels (right image), its outline is traced along the pixel edges and simplified to within
--tolerance pixels, and the corners are moved by a few tenths of a pixel, as a hand placing them
at zoom 10 would, so that no side lies exactly on the sample grid. Right polygons come from the
right view's ground truth when there is one (--right-truth), otherwise from the left outline
carried by the region's fitted plane. Standard Python only.

  polygons_from_ground_truth.py GT SCALE PROJECT.plk --name NAME [--right-truth GT_RIGHT]
"""

import argparse
import os
from collections import deque


def read_pgm(path):
    data = open(path, "rb").read()
    fields, i = [], 0
    while len(fields) < 4:
        while data[i : i + 1].isspace():
            i += 1
        if data[i : i + 1] == b"#":
            while data[i : i + 1] != b"\n":
                i += 1
            continue
        j = i
        while not data[j : j + 1].isspace():
            j += 1
        fields.append(data[i:j])
        i = j
    width, height = int(fields[1]), int(fields[2])
    return width, height, list(data[i + 1 : i + 1 + width * height])


def label_regions(width, height, levels, step, min_size):
    """Connected regions of known levels whose 4-neighbours differ by at most `step`."""
    labels = [-1] * (width * height)
    regions = []
    for seed in range(width * height):
        if labels[seed] >= 0 or levels[seed] == 0:
            continue
        members, queue = [], deque([seed])
        labels[seed] = len(regions)
        while queue:
            i = queue.popleft()
            members.append(i)
            y, x = divmod(i, width)
            for j, ok in ((i - 1, x > 0), (i + 1, x < width - 1), (i - width, y > 0),
                          (i + width, y < height - 1)):
                if ok and labels[j] < 0 and levels[j] != 0 and abs(levels[j] - levels[i]) <= step:
                    labels[j] = labels[seed]
                    queue.append(j)
        regions.append(members)
    keep = [k for k, members in enumerate(regions) if len(members) >= min_size]
    return labels, regions, keep


def fit_plane(width, levels, members, scale):
    """Least-squares d = a * column + b * row + c over the region."""
    s = [[0.0] * 3 for _ in range(3)]
    t = [0.0] * 3
    for i in members:
        y, x = divmod(i, width)
        f = (x, y, 1.0)
        d = levels[i] / scale
        for r in range(3):
            t[r] += f[r] * d
            for c in range(3):
                s[r][c] += f[r] * f[c]
    for c in range(3):
        p = max(range(c, 3), key=lambda r: abs(s[r][c]))
        s[c], s[p], t[c], t[p] = s[p], s[c], t[p], t[c]
        for r in range(3):
            if r != c:
                factor = s[r][c] / s[c][c]
                s[r] = [s[r][k] - factor * s[c][k] for k in range(3)]
                t[r] -= factor * t[c]
    return [t[i] / s[i][i] for i in range(3)]


def plane_error(width, levels, members, scale):
    """Mean distance of the region's disparities to its fitted plane, in pixels."""
    a, b, c = fit_plane(width, levels, members, scale)
    total = 0.0
    for i in members:
        y, x = divmod(i, width)
        total += abs(levels[i] / scale - (a * x + b * y + c))
    return total / len(members)


def split_creases(width, levels, regions, keep, scale, limit):
    """Splits, at the best column, each region that one plane does not fit (two planes meeting
    along a crease have no jump of disparity, so the labelling joins them)."""
    result = []
    for k in keep:
        members = regions[k]
        if plane_error(width, levels, members, scale) <= limit:
            result.append(members)
            continue
        columns = sorted({i % width for i in members})
        sample = members[::5]
        best = None
        for split in columns[10:-10:2]:
            left = [i for i in sample if i % width < split]
            right = [i for i in sample if i % width >= split]
            error = (plane_error(width, levels, left, scale) * len(left)
                     + plane_error(width, levels, right, scale) * len(right))
            if best is None or error < best[0]:
                best = (error, split)
        result.append([i for i in members if i % width < best[1]])
        result.append([i for i in members if i % width >= best[1]])
    return result


def eroded(width, height, members, margin):
    """Pixels of the region whose whole (2 margin + 1)^2 neighbourhood lies in it."""
    inside = [0] * (width * height)
    for i in members:
        inside[i] = 1
    sums = [[0] * (width + 1) for _ in range(height + 1)]
    for y in range(height):
        row = 0
        for x in range(width):
            row += inside[y * width + x]
            sums[y + 1][x + 1] = sums[y][x + 1] + row
    side = 2 * margin + 1
    kept = set()
    for i in members:
        y, x = divmod(i, width)
        y0, x0, y1, x1 = y - margin, x - margin, y + margin + 1, x + margin + 1
        if y0 < 0 or x0 < 0 or y1 > height or x1 > width:
            continue
        if sums[y1][x1] - sums[y0][x1] - sums[y1][x0] + sums[y0][x0] == side * side:
            kept.add((y, x))
    return kept


def outer_outline(pixels):
    """The longest closed outline along pixel edges, as (row, column) corners, clockwise."""
    edges = {}
    for y, x in pixels:
        if (y - 1, x) not in pixels:
            edges.setdefault((y, x), []).append((y, x + 1))
        if (y, x + 1) not in pixels:
            edges.setdefault((y, x + 1), []).append((y + 1, x + 1))
        if (y + 1, x) not in pixels:
            edges.setdefault((y + 1, x + 1), []).append((y + 1, x))
        if (y, x - 1) not in pixels:
            edges.setdefault((y + 1, x), []).append((y, x))
    loops = []
    while edges:
        start = next(iter(edges))
        loop, corner, heading = [start], start, None
        while True:
            ends = edges[corner]
            # Where two regions touch diagonally, turn right so that each keeps its own outline.
            end = ends[0]
            if len(ends) > 1 and heading is not None:
                end = min(ends, key=lambda e: turn(heading, (e[0] - corner[0], e[1] - corner[1])))
            ends.remove(end)
            if not ends:
                del edges[corner]
            heading = (end[0] - corner[0], end[1] - corner[1])
            corner = end
            if corner == start:
                break
            loop.append(corner)
        loops.append(loop)
    return max(loops, key=len)


def turn(heading, direction):
    """0 for a right turn, 1 straight on, 2 left (rows grow downwards)."""
    cross = heading[0] * direction[1] - heading[1] * direction[0]
    return 0 if cross < 0 else (1 if cross == 0 else 2)


def simplify(loop, tolerance):
    """Douglas-Peucker on a closed outline, split at its two farthest corners."""

    def distance(p, a, b):
        du, dv = b[0] - a[0], b[1] - a[1]
        length = (du * du + dv * dv) ** 0.5
        if length == 0:
            return ((p[0] - a[0]) ** 2 + (p[1] - a[1]) ** 2) ** 0.5
        return abs(du * (p[1] - a[1]) - dv * (p[0] - a[0])) / length

    def reduce(points):
        if len(points) < 3:
            return points
        far = max(range(1, len(points) - 1), key=lambda k: distance(points[k], points[0], points[-1]))
        if distance(points[far], points[0], points[-1]) <= tolerance:
            return [points[0], points[-1]]
        return reduce(points[: far + 1])[:-1] + reduce(points[far:])

    first = 0
    second = max(range(len(loop)), key=lambda k: (loop[k][0] - loop[0][0]) ** 2 + (loop[k][1] - loop[0][1]) ** 2)
    half1 = reduce(loop[first : second + 1])
    half2 = reduce(loop[second:] + [loop[0]])
    return half1[:-1] + half2[:-1]


def corners(loop, tolerance, seed):
    """Pixel-edge corners to polygon corners: (U, V) in tenths of a pixel, slightly moved."""
    result = []
    for k, (r, c) in enumerate(simplify(loop, tolerance)):
        jitter_u = ((seed + 7 * k) % 5 - 2) / 10.0
        jitter_v = ((seed + 3 * k) % 5 - 2) / 10.0
        result.append((round(r - 0.5 + jitter_u, 1), round(c - 0.5 + jitter_v, 1)))
    return result


def number(value):
    return ("%.1f" % value).rstrip("0").rstrip(".")


def write_project(path, name, polygons_left, polygons_right):
    lines = ["[general]", "nom_projet=" + name, "imageg_location=left.bmp",
             "imaged_location=right.bmp", "", "[polygones]",
             "nbre_gauche=%d" % len(polygons_left), "nbre_droite=%d" % len(polygons_right)]
    counts = []
    for side, polygons in (("gauche", polygons_left), ("droite", polygons_right)):
        vertices, elements = [], []
        for k, polygon in enumerate(polygons, 1):
            elements.append("p%d.nbre_sommets=%d" % (k, len(polygon) + 1))
            first = len(vertices)
            for j, (u, v) in enumerate(polygon, 1):
                vertices.append((u, v))
                elements.append("p%d-%d.index=%d" % (k, j, len(vertices) - 1))
            elements.append("p%d-%d.index=%d" % (k, len(polygon) + 1, first))
        counts.append(len(vertices))
        if polygons:
            lines += ["", "[" + side + "]"] + elements + ["", "[sommets_" + side + "]"]
            for n, (u, v) in enumerate(vertices):
                lines += ["%d.U=%s" % (n, number(u)), "%d.V=%s" % (n, number(v)),
                          "%d.BordU=0" % n, "%d.BordV=0" % n]
    lines += ["", "[sommets]", "nbre_gauche=%d" % counts[0], "nbre_droite=%d" % counts[1]]
    with open(path, "w", newline="\r\n") as out:
        out.write("\n".join(lines) + "\n")


def planar_regions(path, args):
    """The regions of one ground truth, each fitted by one plane, and a label per pixel."""
    width, height, levels = read_pgm(path)
    _, regions, keep = label_regions(width, height, levels, args.step, args.min_size)
    regions = split_creases(width, levels, regions, keep, args.scale, args.plane_error)
    labels = [-1] * (width * height)
    for k, members in enumerate(regions):
        for i in members:
            labels[i] = k
    return width, height, levels, regions, labels


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("truth")
    parser.add_argument("scale", type=float)
    parser.add_argument("project")
    parser.add_argument("--name", required=True)
    parser.add_argument("--right-truth")
    parser.add_argument("--step", type=int, default=2)
    parser.add_argument("--min-size", type=int, default=3000)
    parser.add_argument("--margin", type=int, default=3)
    parser.add_argument("--right-margin", type=int, default=1)
    parser.add_argument("--tolerance", type=float, default=1.0)
    parser.add_argument("--plane-error", type=float, default=0.1)
    args = parser.parse_args()

    width, height, levels, regions, _ = planar_regions(args.truth, args)
    if args.right_truth:
        _, _, _, right_regions, right_labels = planar_regions(args.right_truth, args)
    left_polygons, right_polygons = [], []
    for k in range(len(regions)):
        a, b, c = fit_plane(width, levels, regions[k], args.scale)
        left = corners(outer_outline(eroded(width, height, regions[k], args.margin)),
                       args.tolerance, k)
        if args.right_truth:
            votes = {}
            for i in regions[k][::7]:
                y, x = divmod(i, width)
                xr = round(x - levels[i] / args.scale)
                if 0 <= xr < width:
                    label = right_labels[y * width + xr]
                    votes[label] = votes.get(label, 0) + 1
            match = max((label for label in votes if label >= 0), key=votes.get)
            right = corners(outer_outline(eroded(width, height, right_regions[match],
                                                 args.right_margin)), args.tolerance, k + 1)
        else:
            wide = corners(outer_outline(eroded(width, height, regions[k], args.right_margin)),
                           args.tolerance, k + 1)
            right = [(u, round(v - (a * v + b * u + c), 1)) for u, v in wide]
        left_polygons.append(left)
        right_polygons.append(right)
        print("region %d: %d pixels, d = %.5f col + %.5f row + %.3f, %d / %d corners"
              % (k, len(regions[k]), a, b, c, len(left), len(right)))
    write_project(args.project, args.name, left_polygons, right_polygons)


if __name__ == "__main__":
    main()
