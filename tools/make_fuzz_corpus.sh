#!/usr/bin/env bash
# Writes the seed corpus of the reader fuzz targets into fuzz/corpus/<reader>/:
# files made by the program's own writers (fuzz_seed_writer), Surfer grids
# made by GDAL (gdal_translate) and SEG-Y cubes made by segyio. Inputs that
# once crashed a reader (fuzz/corpus/<reader>/crash-*) are kept as they are.
# Usage: tools/make_fuzz_corpus.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
corpus=fuzz/corpus

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLMERA_BUILD_TESTS=ON
cmake --build "$build" -j4 --target fuzz_seed_writer
"$build/fuzz/fuzz_seed_writer" "$corpus"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# GDAL: one small raster with a no-data cell, written in the three Surfer
# kinds (the 6 binary kind is one the reader refuses with a message) and as
# XYZ lines.
cat > "$work/grid.asc" <<'GRID'
ncols 5
nrows 4
xllcorner 500000
yllcorner 6000000
cellsize 25
NODATA_value -9999
10.5 11 11.5 12 12.5
13 -9999 14 14.5 15
15.5 16 16.5 17 17.5
18 18.5 19 19.5 20.25
GRID
gdal_translate -q -of GSAG "$work/grid.asc" "$corpus/surfer_grid/gdal_surfer6_text.grd"
gdal_translate -q -of GS7BG "$work/grid.asc" "$corpus/surfer_grid/gdal_surfer7.grd"
gdal_translate -q -of GSBG "$work/grid.asc" "$corpus/surfer_grid/gdal_surfer6_binary.grd"
# GDAL's XYZ lines hold three fields, not the four of a cube: a refusal.
gdal_translate -q -of XYZ -co COLUMN_SEPARATOR=, "$work/grid.asc" "$corpus/xyz/gdal_three_fields.xyz"
rm -f "$corpus"/surfer_grid/*.aux.xml "$corpus"/xyz/*.aux.xml

# segyio: big-endian cubes of 3 lines of 4 traces of 5 samples in the sample
# formats the reader takes, numbered as the program's writer numbers them
# (segyio 1.8 cuts the last 16-bit trace short: the reader refuses that one).
/usr/bin/python3 - "$corpus/segy" <<'PY'
import sys
import numpy as np
import segyio

out = sys.argv[1]
lines, traces, samples = 3, 4, 5
for fmt, name in ((1, "segyio_ibm_be.sgy"), (5, "segyio_ieee_be.sgy"),
                  (2, "segyio_int32_be.sgy"), (3, "segyio_int16_be.sgy")):
    spec = segyio.spec()
    spec.ilines = list(range(1, lines + 1))
    spec.xlines = list(range(1, traces + 1))
    spec.samples = list(range(samples))
    spec.format = fmt
    spec.sorting = segyio.TraceSortingFormat.INLINE_SORTING
    spec.endian = "big"
    with segyio.create(f"{out}/{name}", spec) as f:
        f.bin.update({segyio.BinField.Interval: 10000, segyio.BinField.Samples: samples,
                      segyio.BinField.Format: fmt})
        t = 0
        for row in range(lines):
            for column in range(traces):
                f.header[t] = {
                    segyio.TraceField.SourceGroupScalar: -100,
                    segyio.TraceField.GroupX: (500000 + 25 * column) * 100,
                    segyio.TraceField.GroupY: (6000000 + 25 * row) * 100,
                    segyio.TraceField.DelayRecordingTime: 100,
                    segyio.TraceField.TRACE_SAMPLE_COUNT: samples,
                    segyio.TraceField.TRACE_SAMPLE_INTERVAL: 10000,
                    segyio.TraceField.CDP_X: column + 1,
                    segyio.TraceField.CDP_Y: row + 1,
                    segyio.TraceField.INLINE_3D: row + 1,
                    segyio.TraceField.CROSSLINE_3D: column + 1,
                }
                f.trace[t] = (np.arange(samples) + 10 * row + column + 2).astype(np.float32)
                t += 1
PY
ls -l "$corpus"/*/
