#!/usr/bin/env python3
"""Writes the sample data that Orvane ships and its demo shows:

  data/models/robot-arm.obj   a small robot arm (z up, about 1.2 units tall),
                              base at the origin, reaching along +x
  data/models/flex-beam.obj   a slender beam for flexible-body demos: 4 units
                              along +x from the origin, 0.3 wide (y) and 0.2
                              high (z), centred on the x axis, cut into 48
                              slices so that it bends smoothly
  data/terrain/hills.png      a 129 x 129 grey height image
  data/terrain/hills.wb       the terrain description that names it
  data/Images/dial.png        a 64 x 64 dial with a see-through corner, the
                              demo's head-up display picture

Run from anywhere; the output is committed, so the build never needs it.
"""
import math
import pathlib
import struct
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
SEGMENTS = 24


class Mesh:
    def __init__(self):
        self.vertices, self.normals, self.faces = [], [], []
        self.groups = []  # (name, first face index)

    def group(self, name):
        self.groups.append((name, len(self.faces)))

    def vertex(self, p, n):
        self.vertices.append(p)
        self.normals.append(n)
        return len(self.vertices)  # OBJ indices start at 1

    def triangle(self, a, b, c):
        self.faces.append((a, b, c))


def rotate_y(p, angle):
    c, s = math.cos(angle), math.sin(angle)
    x, y, z = p
    return (c * x + s * z, y, -s * x + c * z)


def place(p, angle, offset):
    x, y, z = rotate_y(p, angle)
    return (x + offset[0], y + offset[1], z + offset[2])


def box(mesh, name, size, angle=0.0, offset=(0, 0, 0)):
    """A box of `size` standing on z = 0, turned by `angle` about y, moved by `offset`."""
    mesh.group(name)
    sx, sy, sz = size[0] / 2, size[1] / 2, size[2]
    faces = [  # normal, four corners counter-clockwise seen from outside
        ((1, 0, 0), [(sx, -sy, 0), (sx, sy, 0), (sx, sy, sz), (sx, -sy, sz)]),
        ((-1, 0, 0), [(-sx, sy, 0), (-sx, -sy, 0), (-sx, -sy, sz), (-sx, sy, sz)]),
        ((0, 1, 0), [(sx, sy, 0), (-sx, sy, 0), (-sx, sy, sz), (sx, sy, sz)]),
        ((0, -1, 0), [(-sx, -sy, 0), (sx, -sy, 0), (sx, -sy, sz), (-sx, -sy, sz)]),
        ((0, 0, 1), [(-sx, -sy, sz), (sx, -sy, sz), (sx, sy, sz), (-sx, sy, sz)]),
        ((0, 0, -1), [(-sx, sy, 0), (sx, sy, 0), (sx, -sy, 0), (-sx, -sy, 0)]),
    ]
    for normal, corners in faces:
        n = rotate_y(normal, angle)
        ids = [mesh.vertex(place(c, angle, offset), n) for c in corners]
        mesh.triangle(ids[0], ids[1], ids[2])
        mesh.triangle(ids[0], ids[2], ids[3])


def cylinder(mesh, name, radius, length, axis, centre):
    """A closed cylinder along `axis` ('y' or 'z'), centred on `centre`."""
    mesh.group(name)

    def frame(u, v, w):  # local (radial x, radial y, along) to world
        if axis == "z":
            return (u, v, w)
        return (u, w, v)  # along y; x and z radial

    def world(u, v, w):
        x, y, z = frame(u, v, w)
        return (x + centre[0], y + centre[1], z + centre[2])

    half = length / 2
    ring = [(math.cos(2 * math.pi * i / SEGMENTS), math.sin(2 * math.pi * i / SEGMENTS))
            for i in range(SEGMENTS)]
    for i in range(SEGMENTS):
        (c0, s0), (c1, s1) = ring[i], ring[(i + 1) % SEGMENTS]
        a = mesh.vertex(world(radius * c0, radius * s0, -half), frame(c0, s0, 0))
        b = mesh.vertex(world(radius * c1, radius * s1, -half), frame(c1, s1, 0))
        c = mesh.vertex(world(radius * c1, radius * s1, half), frame(c1, s1, 0))
        d = mesh.vertex(world(radius * c0, radius * s0, half), frame(c0, s0, 0))
        # Counter-clockwise seen from outside, whichever way the axis points.
        if axis == "z":
            mesh.triangle(a, b, c)
            mesh.triangle(a, c, d)
        else:
            mesh.triangle(a, c, b)
            mesh.triangle(a, d, c)
    for sign in (-1, 1):
        n = frame(0, 0, sign)
        centre_id = mesh.vertex(world(0, 0, sign * half), n)
        for i in range(SEGMENTS):
            (c0, s0), (c1, s1) = ring[i], ring[(i + 1) % SEGMENTS]
            p = mesh.vertex(world(radius * c0, radius * s0, sign * half), n)
            q = mesh.vertex(world(radius * c1, radius * s1, sign * half), n)
            outward = (sign > 0) == (axis == "z")
            mesh.triangle(centre_id, p, q) if outward else mesh.triangle(centre_id, q, p)


def robot_arm():
    mesh = Mesh()
    cylinder(mesh, "base", 0.35, 0.12, "z", (0, 0, 0.06))
    cylinder(mesh, "turret", 0.2, 0.3, "z", (0, 0, 0.27))
    shoulder = (0, 0, 0.52)
    cylinder(mesh, "shoulder", 0.13, 0.34, "y", shoulder)
    upper_angle = math.radians(25)  # leaning forward, towards +x
    upper_length = 0.7
    box(mesh, "upper_arm", (0.16, 0.16, upper_length), upper_angle, shoulder)
    elbow = place((0, 0, upper_length), upper_angle, shoulder)
    cylinder(mesh, "elbow", 0.1, 0.26, "y", elbow)
    fore_angle = math.radians(105)  # pointing forward and slightly down
    fore_length = 0.55
    box(mesh, "forearm", (0.12, 0.12, fore_length), fore_angle, elbow)
    wrist = place((0, 0, fore_length), fore_angle, elbow)
    cylinder(mesh, "wrist", 0.08, 0.16, "y", wrist)
    for side in (-1, 1):
        finger = (wrist[0], wrist[1] + side * 0.05, wrist[2])
        box(mesh, "finger_%s" % ("left" if side > 0 else "right"), (0.04, 0.025, 0.16),
            fore_angle, finger)
    return mesh


def flex_beam(length=4.0, width=0.3, height=0.2, slices=48):
    mesh = Mesh()
    mesh.group("beam")
    hy, hz = width / 2, height / 2
    # The four long faces: corners a -> b across the face, counter-clockwise
    # seen from outside when walked along +x.
    sides = [((0, 0, -1), (-hy, -hz), (hy, -hz)), ((0, 1, 0), (hy, -hz), (hy, hz)),
             ((0, 0, 1), (hy, hz), (-hy, hz)), ((0, -1, 0), (-hy, hz), (-hy, -hz))]
    for normal, a, b in sides:
        rows = []
        for i in range(slices + 1):
            x = length * i / slices
            rows.append((mesh.vertex((x, a[0], a[1]), normal), mesh.vertex((x, b[0], b[1]), normal)))
        for (a0, b0), (a1, b1) in zip(rows, rows[1:]):
            mesh.triangle(a0, b0, b1)
            mesh.triangle(a0, b1, a1)
    for x, sign in ((0.0, -1), (length, 1)):
        corners = [(x, -hy, -hz), (x, hy, -hz), (x, hy, hz), (x, -hy, hz)]
        ids = [mesh.vertex(c, (sign, 0, 0)) for c in corners]
        if sign > 0:
            mesh.triangle(ids[0], ids[1], ids[2])
            mesh.triangle(ids[0], ids[2], ids[3])
        else:
            mesh.triangle(ids[0], ids[2], ids[1])
            mesh.triangle(ids[0], ids[3], ids[2])
    return mesh


# The material every sample model names: a plain grey whose colour the
# simulation overrides. OBJ readers warn about faces without a material.
MATERIAL = """# Orvane sample model material (made by scripts/make_sample_data.py)
newmtl grey
Ka 0.2 0.2 0.2
Kd 0.8 0.8 0.8
Ks 0.0 0.0 0.0
Ns 1
d 1
"""


def write_obj(mesh, path, title="a small robot arm, z up"):
    library = path.with_suffix(".mtl")
    library.write_text(MATERIAL)
    lines = ["# Orvane sample model: %s, made by scripts/make_sample_data.py" % title]
    lines += ["mtllib " + library.name]
    lines += ["v %.5f %.5f %.5f" % v for v in mesh.vertices]
    lines += ["vn %.5f %.5f %.5f" % n for n in mesh.normals]
    lines += ["usemtl grey"]
    starts = dict((first, name) for name, first in mesh.groups)
    for i, (a, b, c) in enumerate(mesh.faces):
        if i in starts:
            lines.append("g " + starts[i])
        lines.append("f %d//%d %d//%d %d//%d" % (a, a, b, b, c, c))
    path.write_text("\n".join(lines) + "\n")


def hills(size=129):
    bumps = [(0.3, 0.65, 0.18, 1.0), (0.7, 0.7, 0.22, 0.8), (0.55, 0.3, 0.15, 0.6),
             (0.15, 0.2, 0.12, 0.4), (0.85, 0.25, 0.1, 0.5)]
    rows = []
    for j in range(size):
        y = j / (size - 1)
        row = []
        for i in range(size):
            x = i / (size - 1)
            h = 0.08 * (math.sin(9 * x) * math.cos(7 * y) + 1)
            for bx, by, r, a in bumps:
                h += a * math.exp(-((x - bx) ** 2 + (y - by) ** 2) / (2 * r * r))
            row.append(h)
        rows.append(row)
    top = max(max(r) for r in rows)
    # PNG rows run from the top of the picture down; the terrain's first row
    # (smallest y) is the picture's bottom row.
    return [[round(255 * h / top) for h in row] for row in reversed(rows)]


def dial(size=64):
    """RGBA rows, top first: a dark round face with a light rim, twelve
    ticks and a needle pointing up and right; outside the rim is clear."""
    rows = []
    centre = (size - 1) / 2
    for j in range(size):
        row = []
        for i in range(size):
            dx, dy = i - centre, centre - j
            r = math.hypot(dx, dy) / centre
            angle = math.atan2(dy, dx)
            if r > 1.0:
                row += [0, 0, 0, 0]
            elif r > 0.9:
                row += [220, 220, 230, 255]
            elif r > 0.75 and abs(((angle / (2 * math.pi) * 12) + 0.5) % 1 - 0.5) < 0.08:
                row += [220, 220, 230, 255]
            elif abs(dx * math.sin(math.pi / 4) - dy * math.cos(math.pi / 4)) < 1.5 \
                    and dx * math.cos(math.pi / 4) + dy * math.sin(math.pi / 4) > 0 and r < 0.8:
                row += [250, 120, 40, 255]
            else:
                row += [30, 40, 60, 230]
        rows.append(row)
    return rows


def write_png(pixels, path, colour_type=0):
    """Rows of bytes, top first: grey (colour type 0) or RGBA (6)."""
    height = len(pixels)
    width = len(pixels[0]) // (4 if colour_type == 6 else 1)
    raw = b"".join(b"\x00" + bytes(row) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    path.write_bytes(png)


DESCRIPTION = """\
# Orvane terrain description: rolling hills (made by scripts/make_sample_data.py)
heightmap  hills.png      # grey height image, next to this file
size       32 20          # extent in x and y
height     0 5            # z of black and of white
lowcolour  80 120 60      # colour of the valleys
highcolour 175 165 140    # colour of the tops
"""


def main():
    models = ROOT / "data" / "models"
    terrain = ROOT / "data" / "terrain"
    models.mkdir(parents=True, exist_ok=True)
    terrain.mkdir(parents=True, exist_ok=True)
    write_obj(robot_arm(), models / "robot-arm.obj")
    write_obj(flex_beam(), models / "flex-beam.obj", "a slender beam along x, z up")
    write_png(hills(), terrain / "hills.png")
    (terrain / "hills.wb").write_text(DESCRIPTION)
    images = ROOT / "data" / "Images"
    images.mkdir(parents=True, exist_ok=True)
    write_png(dial(), images / "dial.png", colour_type=6)


if __name__ == "__main__":
    main()
