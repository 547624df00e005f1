#pragma once
// Closed-form vertical attraction of a right rectangular prism.
#include "common/types.h"

#include <cstddef>
#include <vector>

// Gravitational constant that turns g/cm3 and metres into mGal.
constexpr double gravity_constant_mgal = 0.006673;

// Replaces every value of `out` by the vertical attraction (mGal, positive
// downwards: a positive density below a node gives a positive value) of the
// prism {x_pair} x {y_pair} x {z_pair} with the given density (g/cm3) at every
// node (x_nodes[j], y_nodes[i]) of a horizontal grid.
//
// - `level` is the z of the observation level (metres, positive downwards);
//   the nodes lie 0.01 m above it.
// - Each pair holds exactly two values: the two x faces, the two y faces, the
//   top and bottom depths.
// - `out` must already have y_nodes.size() rows with x_nodes.size() values in
//   its first row; otherwise (or when a pair does not hold two values) `out` is
//   left untouched.
// - `thread_count` > 1 splits the rows over that many worker threads; the
//   result does not depend on it.
// A face lying exactly at the observation depth gives values that are not
// numbers; they are stored as computed and noted once on standard output.
void prism_gravity_kernel(const std::vector<double>& x_nodes, const std::vector<double>& y_nodes,
                          double level, const std::vector<double>& x_pair,
                          const std::vector<double>& y_pair, const std::vector<double>& z_pair,
                          double density, field2D& out, int thread_count = 1);

// The same field for a prism centred on a node of a regular lattice, the
// corner function evaluated once per lattice corner and per depth face and
// shared by the cells around it:
// - the nodes lie at ((j - cx) * dx, (i - cy) * dy), i < rows, j < columns,
//   relative to the prism's centre; the prism spans -hx .. hx and -hy .. hy
//   (hx = dx / 2, hy = dy / 2) and the depths z_top .. z_bottom;
// - the field is symmetric about the centre, so one quadrant is computed and
//   mirrored;
// - `swapped` writes the quadrant-swapped field instead (as fft_shift of the
//   field with cx = columns / 2, cy = rows / 2): the node of offset (a, b)
//   goes to row a mod rows, column b mod columns.
// The combination follows prism_gravity_kernel's formula, arctangent branch
// constant included; values agree with it to rounding. `out` must already
// have `rows` rows of `columns` values (otherwise it is left untouched).
void prism_lattice_field(double dx, double dy, double hx, double hy, int cx, int cy, double level,
                         double z_top, double z_bottom, double density, bool swapped, field2D& out,
                         int thread_count = 1);

// The two steps of prism_lattice_field, for callers whose cells share depth
// faces (the bottom of one level is the top of the next): the corner values
// of one face, then the field of the cell between two faces.
class PrismLattice
{
public:
    // Corner values of one depth face.
    struct Face
    {
        double z = 0;                    // the face's depth
        bool valid = false;
        std::vector<double> f, t;        // corner function, arctangent argument
    };

    // Lattice of a `rows` x `columns` grid of nodes around the cell centred
    // on node (cx, cy); spacings, half widths and level as prism_lattice_field.
    PrismLattice(double dx, double dy, double hx, double hy, int cx, int cy, int rows, int columns,
                 double level);

    void face(double z, Face& out, int thread_count = 1) const;
    // The same in steps, for callers that spread several faces over their
    // own workers: face_begin sizes the face for depth z, face_rows fills
    // its corner rows b0 .. b1-1 (of face_row_count()) and returns the
    // face_* flags of values that are not numbers, which report_nan notes
    // once on standard output (as face does).
    enum : int { face_r_nan = 1, face_arg_nan = 2 };
    void face_begin(double z, Face& out) const;
    std::size_t face_row_count() const { return ys_.size(); }
    int face_rows(Face& out, std::size_t b0, std::size_t b1) const;
    static void report_nan(int flags);
    // The field (with `density`) of the cell between the faces, into `out`,
    // quadrant-swapped on request. `out` holds the field's first out.size()
    // rows (at most `rows`, each of `columns` values; else it is left
    // untouched): a swapped field's row r equals its row rows - r, so rows
    // 0 .. rows/2 hold all of it.
    void field(const Face& top, const Face& bottom, double density, bool swapped, field2D& out,
               int thread_count = 1) const;
    void field(const Face& top, const Face& bottom, double density, bool swapped, vector2D& out,
               int thread_count = 1) const;

    // The sum of that field over all `rows` x `columns` nodes (quadrant-
    // swapped or not, the nodes are the same), for the cell between depths
    // z_top and z_bottom: the corner differences telescope, so it takes a
    // few corner values of each face, not the faces. It is the value at
    // frequency 0 of the field's spectrum. Not a number when the lattice
    // does not hold the grid's nodes.
    double field_sum(double z_top, double z_bottom, double density, bool swapped) const;

    // Rows i0 .. i1-1 of that field (of the out.size() rows field() would
    // write), on the calling thread.
    void field_rows(const Face& top, const Face& bottom, double density, bool swapped, vector2D& out,
                    std::size_t i0, std::size_t i1) const;
    void field_rows(const Face& top, const Face& bottom, double density, bool swapped, field2D& out,
                    std::size_t i0, std::size_t i1) const;

private:
    double face_sum(double z, int a_pos, int a_neg, int b_pos, int b_neg) const;
    template <typename Cell>
    bool fits(const Face& top, const Face& bottom, const std::vector<std::vector<Cell>>& out) const;
    template <typename Cell>
    void rows_impl(const Face& top, const Face& bottom, double density, bool swapped,
                   std::vector<std::vector<Cell>>& out, std::size_t i0, std::size_t i1) const;
    template <typename Cell>
    void field_impl(const Face& top, const Face& bottom, double density, bool swapped,
                    std::vector<std::vector<Cell>>& out, int thread_count) const;

    int rows_, cols_, cx_, cy_, qx_, qy_;
    double level_;
    std::vector<double> xs_, ys_;  // corner coordinates
};

void prism_lattice_field(double dx, double dy, double hx, double hy, int cx, int cy, double level,
                         double z_top, double z_bottom, double density, bool swapped, vector2D& out,
                         int thread_count = 1);
