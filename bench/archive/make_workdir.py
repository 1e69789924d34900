#!/usr/bin/env python3
"""Writes a deterministic work directory of about TOTAL_MB megabytes for the archive benchmarks:
a few hundred records of mixed sizes, text-like (method 2), model-like float data and R7T models (method 1)
and incompressible bytes (method 0), listed in catalog.dat.

usage: make_workdir.py DIR TOTAL_MB [SEED [MODEL_WEIGHT]]   (MODEL_WEIGHT 0 leaves the models out)"""
import array
import os
import random
import sys

WORDS = ("crate barrel panel harbour north south east west light heavy red green blue steel wood stone "
         "glass rope sail mast deck hull anchor lamp door gate road bridge tower wall roof floor").split()


def text_table(rng, size):
    rows, total, i = [], 0, 0
    while total < size:
        row = "%d,%s,%s,%.3f,%.3f,%d\r\n" % (i, rng.choice(WORDS), rng.choice(WORDS), rng.uniform(-100, 100),
                                          rng.uniform(0, 50), rng.randrange(1000))
        rows.append(row)
        total += len(row)
        i += 1
    return "".join(rows).encode("ascii")[:size]


def float_records(rng, size):
    values = array.array("f")
    count = size // 4
    x = 0.0
    for k in range(count):
        if k % 10 == 0:
            x = round(rng.uniform(-10, 10), 2)
        values.append(x + (k % 10) * 0.25)
    return values.tobytes()


def r7t_model(rng, size):
    rows = ["NumRecords: %6d" % 1, "Entity[%3d]: %32s" % (0, "Mesh"), "??: %6d" % 0, "\\\\ Start Record"]
    vertex_count = max(3, min(60000, size // 110))
    rows += ["numVertices: %6d" % vertex_count, "numFaces:    %6d" % 1, "Record:      %6d" % 0]
    for k in range(vertex_count):
        rows.append("Vertex[%4d]: " % k + " ".join("%12f" % (rng.randrange(-4096, 4096) / 64.0) for _ in range(8)))
    rows += ["??: %d" % 0, "Face[%3d]: %4d %4d %4d" % (0, 0, 1, 2), "\\\\ End Record"]
    return ("\r\n".join(rows) + "\r\n").encode("ascii")


def main():
    out, total_mb = sys.argv[1], float(sys.argv[2])
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 7)
    model_weight = int(sys.argv[4]) if len(sys.argv) > 4 else 10
    os.makedirs(out, exist_ok=True)
    budget = int(total_mb * 1024 * 1024)
    catalog, index = [], 0
    while budget > 0:
        kind = rng.choices(["CSV", "BIN", "RAW", "R7T"], weights=[40, 35, 15, model_weight])[0]
        size = min(budget, int(2 ** rng.uniform(11, 20)) if index % 97 else 4 * 1024 * 1024)
        if kind == "CSV":
            data, method = text_table(rng, size), 2
        elif kind == "BIN":
            data, method = float_records(rng, size), 1
        elif kind == "RAW":
            data, method = rng.randbytes(size), 0
        else:
            data, method = r7t_model(rng, size), 1
        name = "F%04d.%s" % (index, kind)
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        catalog.append("%d %d %s\r\n" % (len(data), method, name))
        budget -= len(data)
        index += 1
    with open(os.path.join(out, "catalog.dat"), "w", newline="") as f:
        f.write("".join(catalog))
    print("%d records" % index)


if __name__ == "__main__":
    main()
