"""Tolmera3D: predicts a density for every cell of the model.

    python code2.py TRAIN_FILE FEATURE_FILE RESULT_FILE REGRESSION USE_VP USE_VS USE_IDX

Trains the regression on the train file (layout in tolmera_ml.py), reads the
program's feature file and writes the predicted cube as an own cube file.

Feature file (big-endian): int32 nx, ny, nz; doubles x first, x last, y first,
y last, z first, z last; then per cell (level outermost, column innermost)
four doubles: depth, Vp, Vs, layer number (0 for a feature not used).

Result file: int32 nx, ny, nz and the six doubles big-endian, as read, then
the nz*ny*nx densities as little-endian float32 in the same cell order. It is
written beside the target and renamed into place once complete.

Standard output carries the number of each finished step on its own line:
1 train file read, 2 model fitted, 3 feature file read, 4 densities
predicted, 5 result written. When the model has layers that the train file
lacks, 100 takes the place of step 3. Any failure is explained on the error
stream and ends the script with a non-zero exit code.
"""

import os
import struct
import sys

HEADER_SIZE = 60
RECORD_DOUBLES = 4


def step(number):
    print(number, flush=True)


def fail(reason):
    sys.stderr.write(reason + "\n")
    sys.exit(1)


def read_features(path):
    import numpy as np

    with open(path, "rb") as f:
        head = f.read(HEADER_SIZE)
        if len(head) != HEADER_SIZE:
            fail("Feature file is truncated")
        nx, ny, nz = struct.unpack(">3i", head[:12])
        bounds = struct.unpack(">6d", head[12:])
        if nx <= 0 or ny <= 0 or nz <= 0:
            fail("Feature file has an empty grid")
        cells = nx * ny * nz
        # The header is checked against the file's size before anything is
        # allocated: a damaged header would ask for an impossible array.
        expected = HEADER_SIZE + cells * RECORD_DOUBLES * 8
        size = os.fstat(f.fileno()).st_size
        if size < expected:
            fail("Feature file is not valid: a grid of %d x %d x %d cells needs %d bytes, the file has %d"
                 % (nx, ny, nz, expected, size))
        try:
            data = np.fromfile(f, dtype=">f8", count=cells * RECORD_DOUBLES)
        except (OverflowError, ValueError, MemoryError) as e:
            fail("Feature file is not valid: %s" % e)
    if data.size != cells * RECORD_DOUBLES:
        fail("Feature file is truncated")
    if not all(map(lambda v: v == v and abs(v) != float("inf"), bounds)):
        fail("Feature file is not valid: its grid bounds are not finite numbers")
    return (nx, ny, nz), bounds, data.reshape(cells, RECORD_DOUBLES).astype(float)


def write_result(path, counts, bounds, values):
    import numpy as np

    tmp = path + ".part"
    try:
        # Created anew: a link planted under either name is replaced, never
        # followed (os.replace renames over the name itself).
        try:
            os.remove(tmp)
        except FileNotFoundError:
            pass
        fd = os.open(tmp, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        with os.fdopen(fd, "wb") as f:
            f.write(struct.pack(">3i", *counts))
            f.write(struct.pack(">6d", *bounds))
            f.write(np.asarray(values, dtype="<f4").tobytes())
        os.replace(tmp, path)
    except OSError as e:
        try:
            os.remove(tmp)
        except OSError:
            pass
        fail("Can't write the result: %s" % e)


def main(argv):
    try:
        import numpy as np
        import tolmera_ml as ml
        ml.make_model(4)
    except ImportError as e:
        fail("Please install python ML libraries (numpy, scikit-learn): %s" % e)

    if len(argv) < 8:
        fail("usage: code2.py TRAIN_FILE FEATURE_FILE RESULT_FILE REGRESSION USE_VP USE_VS USE_IDX")
    train_path, feature_path, result_path = argv[1], argv[2], argv[3]
    kind = ml.parse_int(argv[4])

    try:
        table = ml.read_train_file(train_path)
    except ml.TrainFileError as e:
        fail("Error in train file: %s" % e)
    step(1)

    counts, bounds, cells = read_features(feature_path)
    # Feature file columns: depth, Vp, Vs, layer; train columns: Vp, depth, Vs, layer.
    cell_column = {0: 1, 1: 0, 2: 2, 3: 3}
    used = list(ml.used_features(table, ml.parse_flag(argv[5]), ml.parse_flag(argv[6]), ml.parse_flag(argv[7])))
    if used[1] and not np.any(cells[:, 0]):
        used[1] = False  # the program sent no depths
    if not any(used):
        fail("Error in train file: no feature varies")
    columns = [i for i in range(4) if used[i]]

    model = ml.make_model(kind)
    model.fit(table[:, columns], table[:, 4])
    step(2)

    if used[3] and cells[:, 3].max() > table[:, 3].max():
        step(100)
        fail("Layers counts in train and model are different")
    step(3)

    x = cells[:, [cell_column[i] for i in columns]]
    predicted = model.predict(x)
    step(4)

    write_result(result_path, counts, bounds, predicted)
    step(5)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except SystemExit:
        raise
    except Exception as e:
        fail("%s: %s" % (type(e).__name__, e))
