"""Writes a small density cube as a SEG-Y file with segyio, the way another
program would hand one over (run by tst_filecmds_e2e).

  density_cube_segy.py PATH NX NY NZ X0 DX Y0 DY Z0_M DZ_M

Little-endian, IEEE floats (format 5), one line per row (inline 189 = row + 1,
crossline 193 = column + 1, key 181 = column + 1), group x, y at 81 and 85
with scalar -100 (centimetres), delay Z0 (first depth in whole metres), sample
interval DZ in millimetres. Densities: 2.30 g/cm3 with a 0.30 g/cm3 denser block over the
middle third of the rows and columns and the middle levels. Prints the cells
level by level, row by row, column fastest, one per line.
"""
import sys

import numpy as np
import segyio


def density(k, j, i, nx, ny, nz):
    inside = (nx // 3 <= i < nx - nx // 3) and (ny // 3 <= j < ny - ny // 3) and (nz // 3 <= k < nz - nz // 3)
    return 2.30 + (0.30 if inside else 0.0)


def main():
    path = sys.argv[1]
    nx, ny, nz = (int(v) for v in sys.argv[2:5])
    x0, dx, y0, dy, z0, dz = (float(v) for v in sys.argv[5:11])
    interval = int(round(dz * 1000))
    spec = segyio.spec()
    spec.iline, spec.xline = 189, 193
    spec.format = 5
    spec.sorting = 2
    spec.endian = "little"
    spec.samples = [z0 + k * dz for k in range(nz)]
    spec.ilines = list(range(1, ny + 1))
    spec.xlines = list(range(1, nx + 1))
    with segyio.create(path, spec) as f:
        t = 0
        for j in range(ny):
            for i in range(nx):
                f.header[t] = {
                    segyio.su.cdpx: i + 1,
                    segyio.su.iline: j + 1,
                    segyio.su.xline: i + 1,
                    segyio.su.scalco: -100,
                    segyio.su.gx: int(round((x0 + i * dx) * 100)),
                    segyio.su.gy: int(round((y0 + j * dy) * 100)),
                    segyio.su.delrt: int(z0),
                    segyio.su.ns: nz,
                    segyio.su.dt: interval,
                }
                f.trace[t] = np.array([density(k, j, i, nx, ny, nz) for k in range(nz)], dtype=np.float32)
                t += 1
        f.bin.update(hns=nz, hdt=interval, format=5)
    for k in range(nz):
        for j in range(ny):
            for i in range(nx):
                print(repr(float(np.float32(density(k, j, i, nx, ny, nz)))))


if __name__ == "__main__":
    main()
