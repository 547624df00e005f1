#pragma once
// Fault sticks: the faults of a project and the Charisma fault-stick text
// format they are exchanged in.
//
// A Charisma file holds one point per line, eight fields separated by blanks,
// tabs or commas: a keyword ("INLINE-" or "CROSSLINE-"), the inline and
// crossline numbers, x, y, z, the fault name and the stick number. Lines come
// in fault order, then stick order, then point order: a new fault starts
// where the name changes, a new stick where the stick number changes.
#include "formats/codec_status.h"

#include <QString>

#include <vector>

// One point of a stick: x, y in metres, z as read (depth, positive down, for
// faults built by the program). Single precision, as the 3D view holds it.
struct FaultPoint
{
    float x = 0, y = 0, z = 0;
    bool operator==(const FaultPoint& o) const { return x == o.x && y == o.y && z == o.z; }
};

// A set of faults: sticks [fault][stick][point], one name per fault, inline
// and crossline numbers of the same shape as the sticks, and whether the set
// was read as inlines.
struct FaultSticks
{
    std::vector<std::vector<std::vector<FaultPoint>>> sticks;
    std::vector<QString> names;
    std::vector<std::vector<std::vector<int>>> inlines;
    std::vector<std::vector<std::vector<int>>> crosslines;
    bool inline_type = false;

    bool empty() const { return sticks.empty(); }
};

// Reads a Charisma fault-stick file. Lines with fewer than eight fields
// (blank lines, comments) are skipped. A line whose numbers cannot be read
// is an error naming the line, and so is a coordinate beyond the coordinate
// limit (coordinate_fits), named as such. `out` is replaced only on success,
// and only when the file holds at least one point (otherwise the status says
// so and `out` keeps its faults). The set is of the inline type when the first
// point line's keyword contains "inline" in any letter case. A name that
// comes back after another fault's lines starts a further fault.
CodecStatus read_charisma_fault_sticks(const QString& path, FaultSticks& out);

// Writes every fault (fault < 0) or only fault `fault` as Charisma lines:
// fields separated by tabs, stick numbers counted from 1 within each fault,
// coordinates in the shortest form that reads back to the same float. Blanks,
// tabs and commas in a name become "_" so that the name stays one field.
// The file replaces any earlier one only when complete.
CodecStatus write_charisma_fault_sticks(const QString& path, const FaultSticks& faults, int fault = -1);

// File of each fault in a folder for the one-file-per-fault export:
// "<dir>/fault <name>.txt" with the name made safe for a file name (the
// position from 1 when nothing of it is left); equal names, compared without
// letter case, get " (2)", " (3)", ... so no file replaces another.
std::vector<QString> fault_file_names(const QString& dir, const std::vector<QString>& names);

// The name written into a Charisma line for `name`.
QString charisma_name_field(const QString& name);
