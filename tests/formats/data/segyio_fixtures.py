"""SEG-Y fixtures and checks made with segyio, run by tst_segy.

  write PATH ENDIAN FORMAT NX NY NZ INTERVAL DELAY SCALAR X0 DX Y0 DY [VX VY]
      Writes a cube of NY lines of NX traces and NZ samples; trace (i, j) has
      key 181 = j + 1, inline 189 = i + 1, crossline 193 = j + 1, group x, y
      (81, 85) = the node coordinates stored with the coordinate scalar (71).
      DX and DY may be negative (x falling along the lines, y from line to
      line). With VX and VY, sample k of a trace at (x, y) is
      1000 (y - VY) + (x - VX) + k / 4: its value tells where it belongs.
      Then reads the file back with segyio and writes what segyio sees to
      PATH.ref: the samples as little-endian float32, trace by trace.
  read PATH
      Opens a little-endian file with segyio, its geometry taken from inline
      189 and crossline 193, and prints a JSON summary (with the first depth
      as the delay with its time scalar applied, the revision 2 fields of
      the binary header and the sample positions taken with the 16-bit
      interval unsigned); the samples go to PATH.ref as above.
"""
import json
import struct
import sys

import numpy as np
import segyio


def scaled(value, scalar):
    if scalar < 0:
        return int(round(value * -scalar))
    if scalar > 0:
        return int(round(value / scalar))
    return int(round(value))


def unscaled(value, scalar):
    if scalar < 0:
        return value / -scalar
    if scalar > 0:
        return value * scalar
    return float(value)


def dump(f, path):
    with open(path + ".ref", "wb") as out:
        for t in range(f.tracecount):
            out.write(np.asarray(f.trace[t], dtype="<f4").tobytes())


def write(path, endian, fmt, nx, ny, nz, interval, delay, scalar, x0, dx, y0, dy, origin=None):
    spec = segyio.spec()
    spec.iline, spec.xline = 189, 193
    spec.format = fmt
    spec.sorting = 2
    spec.endian = endian
    spec.samples = [delay + k * interval / 1000.0 for k in range(nz)]
    spec.ilines = list(range(1, ny + 1))
    spec.xlines = list(range(1, nx + 1))
    with segyio.create(path, spec) as f:
        t = 0
        for i in range(ny):
            for j in range(nx):
                f.header[t] = {
                    segyio.su.cdpx: j + 1,
                    segyio.su.iline: i + 1,
                    segyio.su.xline: j + 1,
                    segyio.su.scalco: scalar,
                    segyio.su.gx: scaled(x0 + j * dx, scalar),
                    segyio.su.gy: scaled(y0 + i * dy, scalar),
                    segyio.su.delrt: delay,
                    segyio.su.ns: nz,
                    segyio.su.dt: interval,
                }
                k = np.arange(nz, dtype=np.float64)
                if origin is None:
                    values = 1.5 + 1000.0 * k + 10.0 * i + j + 0.1234567 * np.sin(7 * j + 3 * i + k) - 3.0 * (i == 1)
                else:
                    xv = unscaled(scaled(x0 + j * dx, scalar), scalar)
                    yv = unscaled(scaled(y0 + i * dy, scalar), scalar)
                    values = 1000.0 * (yv - origin[1]) + (xv - origin[0]) + 0.25 * k
                f.trace[t] = values.astype(np.float32)
                t += 1
        f.bin.update(hns=nz, hdt=interval, format=fmt)
    with segyio.open(path, iline=189, xline=193, endian=endian) as f:
        dump(f, path)


def read(path):
    with segyio.open(path, iline=189, xline=193, endian="little") as f:
        h0 = f.header[0]
        summary = {
            "format": int(f.format) if f.format is not None else None,
            "ilines": [int(v) for v in f.ilines],
            "xlines": [int(v) for v in f.xlines],
            "samples": [float(v) for v in f.samples],
            "tracecount": f.tracecount,
            "sorting": int(f.sorting),
            "x": [unscaled(f.header[t][segyio.su.gx], f.header[t][segyio.su.scalco]) for t in range(f.tracecount)],
            "y": [unscaled(f.header[t][segyio.su.gy], f.header[t][segyio.su.scalco]) for t in range(f.tracecount)],
            "cdpx": [f.header[t][segyio.su.cdpx] for t in range(f.tracecount)],
            "binary_format": int(f.bin[segyio.BinField.Format]),
            "binary_samples": int(f.bin[segyio.BinField.Samples]),
            "binary_interval": int(f.bin[segyio.BinField.Interval]),
            "delay": int(h0[segyio.su.delrt]),
            "time_scalar": int(h0[segyio.TraceField.ScalarTraceHeader]),
            "first_depth": unscaled(h0[segyio.su.delrt], h0[segyio.TraceField.ScalarTraceHeader]),
            "trace_interval": int(h0[segyio.TraceField.TRACE_SAMPLE_INTERVAL]),
        }
        # The standard's interval is unsigned; segyio 1.8 hands it out as a
        # signed 16-bit number. The sample positions an unsigned reader finds,
        # from segyio's own header reading.
        unsigned_interval = int(f.bin[segyio.BinField.Interval]) & 0xFFFF
        summary["unsigned_samples"] = [float(v) for v in segyio.tools.sample_indexes(
            f, t0=summary["first_depth"], dt_override=unsigned_interval / 1000.0)]
        # Revision 2 fields segyio 1.8 has no names for, from the file itself:
        # the revision bytes (3501, 3502) and the extended sample interval
        # (3273-3280, a little-endian double here).
        with open(path, "rb") as raw:
            binary = raw.read(3600)[3200:]
        summary["revision_major"] = binary[3500 - 3200]
        summary["revision_minor"] = binary[3501 - 3200]
        summary["extended_interval"] = struct.unpack_from("<d", binary, 3272 - 3200)[0]
        dump(f, path)
    print(json.dumps(summary))


if __name__ == "__main__":
    if sys.argv[1] == "write":
        a = sys.argv[2:]
        write(a[0], a[1], int(a[2]), int(a[3]), int(a[4]), int(a[5]), int(a[6]), int(a[7]), int(a[8]),
              float(a[9]), float(a[10]), float(a[11]), float(a[12]),
              (float(a[13]), float(a[14])) if len(a) > 14 else None)
    elif sys.argv[1] == "read":
        read(sys.argv[2])
    else:
        sys.exit("unknown command")
