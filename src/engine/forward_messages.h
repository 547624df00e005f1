#pragma once
// Why a spectral run (the forward calculation, the inversions) cannot start
// or could not finish, in the user's language. The window commands that call
// forward_geometry and the engine's runs show these.
#include "app/texts.h"
#include "engine/forward.h"

#include <QString>

inline QString out_of_memory_text(int language)
{
    return byLanguage(language, "Недостаточно памяти ", "Out of memory");
}

// The inversions' wording for a grid whose axes have fewer than two nodes or
// do not increase.
inline QString grid_nodes_text(int language)
{
    return byLanguage(language, "3D грид должен иметь не менее двух узлов с положительным шагом по каждой оси",
                      "The 3D grid needs at least two nodes with a positive step along every axis");
}

// The forward command's texts for a refused geometry or exhausted memory; an
// empty text for Completed and Stopped.
inline QString forward_failure_text(ForwardStatus status, int language)
{
    switch (status) {
    case ForwardStatus::EmptyGrid:
        return byLanguage(language, "3D грид плотности пуст", "3D density grid is empty");
    case ForwardStatus::IrregularGrid:
        return byLanguage(language, "Уровни и строки 3D грида плотности имеют разный размер",
                          "The levels and rows of the 3D density grid differ in size");
    case ForwardStatus::CoordinatesMismatch:
        return byLanguage(language, "Координаты узлов не соответствуют размеру 3D грида плотности",
                          "The node coordinates do not match the size of the 3D density grid");
    case ForwardStatus::TooFewNodes:
        return byLanguage(language, "3D грид плотности должен иметь не менее двух узлов по каждой оси",
                          "The 3D density grid needs at least two nodes along every axis");
    case ForwardStatus::NodesNotIncreasing:
        return byLanguage(language, "Координаты узлов 3D грида плотности должны возрастать по каждой оси",
                          "The node coordinates of the 3D density grid must increase along every axis");
    case ForwardStatus::BadExpansionFactor:
        return byLanguage(language, "Недопустимый коэффициент расширения",
                          "The expansion factor is out of range");
    case ForwardStatus::OutOfMemory:
        return out_of_memory_text(language);
    case ForwardStatus::Completed:
    case ForwardStatus::Stopped:
        break;
    }
    return QString();
}
