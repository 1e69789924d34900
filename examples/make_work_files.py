#!/usr/bin/env python3
"""Writes the example work directory (examples/work): a catalog, a CSV table, a DAT file, a small bitmap
and one model of each kind in its text form. Every value here is made up for the example."""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "work")
CRLF = "\r\n"


def write(name, data):
    mode = "wb"
    with open(os.path.join(HERE, name), mode) as f:
        f.write(data if isinstance(data, bytes) else data.encode("ascii"))


def lines(*rows):
    return "".join(row + CRLF for row in rows)


def f8(v):
    return "%8.4f" % v


def f12(v):
    return "%12f" % v


def r7d():
    vertices = [(0, 0, 0, 0, 0, 0, 1, 0, 0, 0), (2, 0, 0, 0, 0, 0, 1, 0, 1, 0),
                (2, 1.5, 0, 0, 0, 0, 1, 0, 1, 1), (0, 1.5, 0, 0, 0, 0, 1, 0, 0, 1)]
    rows = ["NumVertices: %6d" % 4, "NumFaces: %6d" % 2, "NumBitmaps: %6d" % 1, "NumEntities: %6d" % 1,
            "// Vertex: X Y Z unused normalX normalY normalZ unused textureU textureV"]
    rows += [" ".join(f8(v) for v in vertex) for vertex in vertices]
    rows += ["// Face: vertexA vertexB vertexC bitmapIndex bitmapName(for information only)",
             "Face[%4d]:%3d %3d %3d %3d // %s" % (0, 0, 1, 2, 0, "crate.bmp"),
             "Face[%4d]:%3d %3d %3d %3d // (null)" % (1, 0, 2, 3, 255),
             "// Bitmaps", "Bitmap[%3d]:%s" % (0, "crate.bmp"),
             "// Entities: name positionX,Y,Z unused rotateX,Y,Z(radians) entityID ?? parentEntityID "
             "childEntityID numFaces firstFaceIndex numVertices firstVertexIndex ?? ?? ?? [best guess]",
             "Entity[%3d]:%32s: " % (0, "Panel") +
             " ".join(f8(v) for v in (1, 0.75, 0, 0, 0, 0, 0.7854)) + " " +
             " ".join("%6d" % v for v in (7, 0, -1, -1, 2, 0, 4)) + " %4d" % 0 +
             "".join(" %8d" % v for v in (0, 0, 0))]
    return lines(*rows)


def r7p():
    rows = ["NumVertices: %6d" % 3, "NumFaces: %6d" % 1, "NumBitmaps: %6d" % 1, "NumEntities: %6d" % 1,
            "// Bitmaps", "Bitmap[%3d]: %s" % (0, "hull.bmp"), "// Entity:: name ...",
            "Entity[%4d]: %32s: " % (0, "Boat") + " ".join(f12(v) for v in (0.5, 0, 1.25, 0, 0, 0.25, 0)) + " " +
            " ".join("%6d" % v for v in (3, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0)),
            "Vertices: 3", "Faces: 1", "Bitmap: 0"]
    for k, vertex in enumerate([(0, 0, 0, 0, 0, 1, 0, 0, 0, 0), (1, 0, 0, 0, 0, 1, 0, 0, 1, 0),
                                (0, 0.5, 0, 0, 0, 1, 0, 0, 0, 1)]):
        rows.append("Vertex[%3d]: " % k + " ".join(f12(v) for v in vertex))
    rows.append("Face[%3d]: %3d %3d %3d" % (0, 0, 1, 2))
    return lines(*rows)


def r7t():
    rows = ["NumRecords: %6d" % 1, "Entity[%3d]: %32s" % (0, "Bush"), "??: %6d" % 0,
            "\\\\ Start Record", "numVertices: %6d" % 3, "numFaces:    %6d" % 1, "Record:      %6d" % 4]
    for k, vertex in enumerate([(0, 0, 0, 1, 0, 1, 0, 0), (0.5, 0, 0, 1, 0, 1, 1, 0), (0, 0.75, 0, 1, 0, 1, 0, 1)]):
        rows.append("Vertex[%4d]: " % k + " ".join(f12(v) for v in vertex))
    rows += ["??: %d" % 1, "Face[%3d]: %4d %4d %4d" % (0, 0, 1, 2), "\\\\ End Record"]
    return lines(*rows)


def bitmap():
    width, height = 2, 2
    pixels = b"".join(bytes([0x20, 0x40, 0x80, 0xFF, 0xFF, 0xFF]) + b"\0\0" for _ in range(height))
    header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def main():
    os.makedirs(HERE, exist_ok=True)
    write("PRICES.CSV", lines("item,price,stock", "crate,12.50,40", "barrel,20.00,12", "panel,3.75,300"))
    write("LEVEL.DAT", lines("[level]", "name=harbour", "time=90", "[spawn]", "x=10", "y=0", "z=-4"))
    write("CRATE.BMP", bitmap())
    write("PANEL.R7D", r7d())
    write("BOAT.R7P", r7p())
    write("BUSH.R7T", r7t())
    write("catalog.dat", lines("0 2 PRICES.CSV", "0 2 LEVEL.DAT", "0 1 CRATE.BMP", "0 1 PANEL.R7D",
                               "0 1 BOAT.R7P", "0 1 BUSH.R7T"))


if __name__ == "__main__":
    main()
