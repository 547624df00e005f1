#include "formats/const_value_surface.h"

#include "common/grid_geometry.h"

#include <cmath>
#include <limits>

double const_value_depth(data_type a, data_type b, double za, double zb, double value)
{
    const double A = a;
    const double B = b;
    if (!((B <= value && value <= A) || (A <= value && value <= B)))
        return std::numeric_limits<double>::quiet_NaN();
    const float span = std::fabs(b - a);  // single precision, as the cells are
    if (span == 0.0f)
        return za;  // both cells hold the value: the upper level reaches it first
    return (std::fabs(B - value) * za + std::fabs(A - value) * zb) / static_cast<double>(span);
}

CodecStatus const_value_surface(const vector3D& cube, const std::vector<double>& z, double value, field2D& surface,
                                const CodecProgress& progress)
{
    if (!cube_is_regular(cube))
        return CodecStatus::failure(CodecError::BadGrid, QStringLiteral("The selected model is empty or damaged"),
                                    QStringLiteral("Выбранная модель пуста или повреждена"));
    if (z.size() < cube.size())
        return CodecStatus::failure(CodecError::BadGrid,
                                    QStringLiteral("The selected model has fewer depth nodes than levels"),
                                    QStringLiteral("У выбранной модели меньше узлов по глубине, чем уровней"));

    const std::size_t levels = cube.size();
    const std::size_t rows = cube.front().size();
    const std::size_t cols = cube.front().front().size();
    field2D out(rows, std::vector<double>(cols, 0.0));
    for (std::size_t j = 0; j < rows; ++j) {
        if (!codec_continue(progress, codec_percent(static_cast<long long>(j), static_cast<long long>(rows))))
            return CodecStatus::cancelled();
        // Level pairs in the outer loop, so that each pass reads two rows
        // that lie in memory one after the other; a node is done at its
        // first bracketing pair.
        std::vector<char> found(cols, 0);
        std::size_t left = cols;
        for (std::size_t i = 0; i + 1 < levels && left > 0; ++i) {
            const std::vector<data_type>& upper = cube[i][j];
            const std::vector<data_type>& lower = cube[i + 1][j];
            for (std::size_t k = 0; k < cols; ++k) {
                if (found[k])
                    continue;
                const double depth = const_value_depth(upper[k], lower[k], z[i], z[i + 1], value);
                if (!std::isnan(depth)) {
                    out[j][k] = depth;
                    found[k] = 1;
                    --left;
                }
            }
        }
    }
    surface = std::move(out);
    return {};
}
