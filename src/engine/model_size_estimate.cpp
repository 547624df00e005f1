#include "engine/model_size_estimate.h"

#include "common/types.h"
#include "engine/fft.h"
#include "engine/memory.h"

#include <algorithm>
#include <cmath>

ExpansionFactorStatus check_expansion_factor(double value)
{
    if (std::isnan(value))
        return ExpansionFactorStatus::NotANumber;
    if (std::isinf(value))
        return ExpansionFactorStatus::NotFinite;
    if (value < 0.0)
        return ExpansionFactorStatus::Negative;
    if (value > max_expansion_factor)
        return ExpansionFactorStatus::AboveLimit;
    return ExpansionFactorStatus::Ok;
}

ExpansionFactorStatus parse_expansion_factor(const QString& text, double* value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok)
        return ExpansionFactorStatus::NotANumber;
    if (value)
        *value = v + 0.0;  // -0 reads as 0
    return check_expansion_factor(v);
}

ExpandedModelEstimate estimate_expanded_model(double factor, int nx, int ny, int nz, uint64_t total_memory_bytes,
                                              int threads, const InversionMemoryOptions& options)
{
    ExpandedModelEstimate e;
    e.status = check_expansion_factor(factor);
    if (e.status != ExpansionFactorStatus::Ok)
        return e;

    nx = std::max(nx, 0);
    ny = std::max(ny, 0);
    nz = std::max(nz, 0);
    e.factor = factor + 0.0;
    // With the factor capped, n * (2p + 1) stays far below the 2^30 limit of
    // the padded size for any grid that fits in memory at all.
    e.mx = fft_padded_size(nx, e.factor);
    e.my = fft_padded_size(ny, e.factor);
    e.nz = nz;
    RunSize size;
    size.nx = nx;
    size.ny = ny;
    size.nz = nz;
    size.Mx = e.mx;
    size.My = e.my;
    size.threads = threads;
    e.memory_gb = inversion_need_bytes(size, options) / bytes_per_gb;
    e.grid_bytes = static_cast<double>(e.mx) * static_cast<double>(e.my)
                   * static_cast<double>(std::max(nz, 1)) * static_cast<double>(sizeof(data_type));
    if (total_memory_bytes > 0 && e.grid_bytes > static_cast<double>(total_memory_bytes))
        e.status = ExpansionFactorStatus::DoesNotFitMemory;
    return e;
}

ExpandedModelEstimate estimate_expanded_model(const QString& text, int nx, int ny, int nz,
                                              uint64_t total_memory_bytes, int threads,
                                              const InversionMemoryOptions& options)
{
    double value = 0.0;
    const ExpansionFactorStatus status = parse_expansion_factor(text, &value);
    if (status != ExpansionFactorStatus::Ok) {
        ExpandedModelEstimate e;
        e.status = status;
        return e;
    }
    return estimate_expanded_model(value, nx, ny, nz, total_memory_bytes, threads, options);
}
