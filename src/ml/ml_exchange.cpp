#include "ml/ml_exchange.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFile>
#include <QIODevice>
#include <QRegExp>

#include <algorithm>
#include <cmath>

namespace {

QString& binDirOverride()
{
    static QString dir;
    return dir;
}

QString flag(bool on)
{
    return QString::number(on ? 1 : 0);
}

bool coversShape(const vector3D& cube, std::size_t nz, std::size_t ny, std::size_t nx)
{
    if (cube.size() < nz)
        return false;
    for (std::size_t k = 0; k < nz; ++k) {
        if (cube[k].size() < ny)
            return false;
        for (std::size_t i = 0; i < ny; ++i)
            if (cube[k][i].size() < nx)
                return false;
    }
    return true;
}

bool horizonsCover(const std::vector<field2D>& horizons, std::size_t ny, std::size_t nx)
{
    if (horizons.empty())
        return false;
    for (const field2D& h : horizons) {
        if (h.size() < ny)
            return false;
        for (std::size_t i = 0; i < ny; ++i)
            if (h[i].size() < nx)
                return false;
    }
    return true;
}

bool sameNode(double a, double b)
{
    return std::abs(a - b) <= 1e-9 * std::max({1.0, std::abs(a), std::abs(b)});
}

} // namespace

QString mlBinDir()
{
    const QString& dir = binDirOverride();
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/bin") : dir;
}

void setMlBinDir(const QString& dir)
{
    binDirOverride() = dir;
}

QString mlTrainScriptPath()
{
    return mlBinDir() + QStringLiteral("/code.py");
}

QString mlPredictScriptPath()
{
    return mlBinDir() + QStringLiteral("/code2.py");
}

QString mlFeatureFilePath()
{
    return mlBinDir() + QStringLiteral("/xdata.bin");
}

QString mlResultFilePath()
{
    return mlBinDir() + QStringLiteral("/res.3Dgrd");
}

QString mlScratchFilePath()
{
    return mlBinDir() + QStringLiteral("/pred.txt");
}

QString mlInterpreter()
{
    return QStringLiteral("python");
}

QStringList mlTrainArguments(const QString& train_file, int regression, bool use_Vp, bool use_Vs, bool use_Idx)
{
    return {mlTrainScriptPath(), train_file,     QString::number(regression),
            flag(use_Vp),        flag(use_Vs),   flag(use_Idx)};
}

QStringList mlPredictArguments(const QString& train_file, int regression, bool use_Vp, bool use_Vs,
                               bool use_Idx)
{
    return {mlPredictScriptPath(),       train_file,   mlFeatureFilePath(), mlResultFilePath(),
            QString::number(regression), flag(use_Vp), flag(use_Vs),        flag(use_Idx)};
}

QStringList mlTrainTokens(const QByteArray& output)
{
    return QString::fromUtf8(output).split(QRegExp(QStringLiteral("[ ,\t\n]")));
}

MlTrainOutput parseMlTrainOutput(const QByteArray& output)
{
    MlTrainOutput out;
    const QStringList t = mlTrainTokens(output);
    if (t.size() < 9)
        return out;
    bool readable = false;
    out.status = t[0].toInt(&readable);
    if (!readable)
        return out;  // not the script's answer (a message or a traceback)
    switch (out.status) {
    case 0:
        out.kind = MlTrainOutput::Kind::Trained;
        break;
    case 1:
        out.kind = MlTrainOutput::Kind::TrainFileError;
        return out;
    case 2:
        out.kind = MlTrainOutput::Kind::LibrariesMissing;
        return out;
    default:
        out.kind = MlTrainOutput::Kind::OtherStatus;
        return out;
    }
    // A short output reads as zeros where tokens are missing.
    auto token = [&t](int i) { return i < t.size() ? t[i] : QString(); };
    out.vp = token(1).toInt() != 0;
    out.depth = token(2).toInt() != 0;
    out.vs = token(3).toInt() != 0;
    out.layer_index = token(4).toInt() != 0;
    for (int i = 0; i < 5; ++i)
        out.scores[i] = token(5 + i).toDouble();
    out.announced = token(10).toInt();
    const int present = t.size() > 11 ? (t.size() - 11) / 6 : 0;
    const int n = std::max(0, std::min(out.announced, present));
    out.vp_vec.resize(n);
    out.h_vec.resize(n);
    out.vs_vec.resize(n);
    out.ind.resize(n);
    out.dens_vec.resize(n);
    out.dens_pred_vec.resize(n);
    for (int i = 0; i < n; ++i) {
        const int b = 11 + 6 * i;
        out.vp_vec[i] = t[b].toDouble();
        out.h_vec[i] = t[b + 1].toDouble();
        out.vs_vec[i] = t[b + 2].toDouble();
        out.ind[i] = t[b + 3].toInt();
        out.dens_vec[i] = t[b + 4].toDouble();
        out.dens_pred_vec[i] = t[b + 5].toDouble();
    }
    return out;
}

QString mlScoreText(const double (&scores)[5])
{
    QString text = QStringLiteral("Cross Validation RMSE scores: ");
    for (int i = 0; i < 5; ++i)
        text += QString::number(i + 5) + QStringLiteral(": ") + QString::number(std::sqrt(-scores[i]), 'f', 4)
            + QStringLiteral("; ");
    return text;
}

QStringList mlPredictTokens(const QByteArray& output)
{
    return QString::fromUtf8(output).split(QRegExp(QStringLiteral("[ ,\t\r\n]")), Qt::SkipEmptyParts);
}

MlPredictVerdict judgeMlPredictOutput(const QByteArray& output)
{
    const QStringList t = mlPredictTokens(output);
    if (t.size() > 4 && t[4].toInt() == 5 && t[2].toInt() == 3)
        return MlPredictVerdict::Success;
    if (t.size() > 2 && t[2].toInt() == 100)
        return MlPredictVerdict::LayerCountsDiffer;
    return MlPredictVerdict::Failed;
}

MlCubeRef ml_feature_source(const MlCubeRef& den, const MlCubeRef& vp, const MlCubeRef& vs, bool use_Vp,
                            bool use_Vs)
{
    if (use_Vp && vp.loaded())
        return vp;
    if (use_Vs && vs.loaded())
        return vs;
    if (den.loaded())
        return den;
    return MlCubeRef();
}

int ml_layer_number(const std::vector<field2D>& horizons, std::size_t row, std::size_t column, double z)
{
    const int n = int(horizons.size());
    for (int m = 0; m + 1 < n; ++m)
        if (horizons[m][row][column] <= z && z < horizons[m + 1][row][column])
            return m + 1;
    return n;
}

MlFeatureStatus write_ml_feature_file(QIODevice& device, const MlCubeRef& den, const MlCubeRef& vp,
                                      const MlCubeRef& vs, const std::vector<field2D>& horizons, bool use_H,
                                      bool use_Vp, bool use_Vs, bool use_Idx, const CodecProgress& progress,
                                      MlFeatureHeader* header)
{
    const MlCubeRef source = ml_feature_source(den, vp, vs, use_Vp, use_Vs);
    if (!source.loaded() || source.cube->front().empty() || source.cube->front().front().empty())
        return MlFeatureStatus::NoSource;
    const vector3D& cube = *source.cube;
    const std::size_t nz = cube.size();
    const std::size_t ny = cube[0].size();
    const std::size_t nx = cube[0][0].size();

    // Every feature in use is read at the source's indexes: its cube (or the
    // horizons) must cover them, and the source must have its own nodes.
    const bool fits = coversShape(cube, nz, ny, nx) && source.x && source.y && source.z
        && source.x->size() == nx && source.y->size() == ny && source.z->size() == nz
        && (!use_Vp || (vp.loaded() && coversShape(*vp.cube, nz, ny, nx)))
        && (!use_Vs || (vs.loaded() && coversShape(*vs.cube, nz, ny, nx)))
        && (!use_Idx || horizonsCover(horizons, ny, nx));
    if (!fits)
        return MlFeatureStatus::ShapeMismatch;

    MlFeatureHeader head;
    head.nx = qint32(nx);
    head.ny = qint32(ny);
    head.nz = qint32(nz);
    head.bounds = {source.x->front(), source.x->back(), source.y->front(),
                   source.y->back(), source.z->front(), source.z->back()};

    QDataStream out(&device);
    out << head.nx << head.ny << head.nz;
    for (double b : head.bounds)
        out << b;

    const std::vector<double>& zs = *source.z;
    const double z0 = zs[0];
    const double step = nz > 1 ? zs[1] - zs[0] : 0.0;
    for (std::size_t k = 0; k < nz; ++k) {
        if (!codec_continue(progress, int(100 * k / nz)))
            return MlFeatureStatus::Cancelled;
        const double z = z0 + double(k) * step;
        for (std::size_t i = 0; i < ny; ++i)
            for (std::size_t j = 0; j < nx; ++j) {
                out << (use_H ? z : 0.0);
                out << (use_Vp ? double((*vp.cube)[k][i][j]) : 0.0);
                out << (use_Vs ? double((*vs.cube)[k][i][j]) : 0.0);
                out << (use_Idx ? double(ml_layer_number(horizons, i, j, z)) : 0.0);
            }
        if (out.status() != QDataStream::Ok)
            return MlFeatureStatus::WriteFailed;
    }
    if (header)
        *header = head;
    return MlFeatureStatus::Written;
}

bool read_ml_feature_header(const QString& path, MlFeatureHeader& header)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < ml_feature_header_size)
        return false;
    QDataStream in(&file);
    MlFeatureHeader h;
    in >> h.nx >> h.ny >> h.nz;
    for (double& b : h.bounds)
        in >> b;
    if (in.status() != QDataStream::Ok)
        return false;
    header = h;
    return true;
}

bool ml_result_fits(const MlFeatureHeader& header, const vector3D& cube, const cube_bounds& bounds)
{
    if (header.nx <= 0 || header.ny <= 0 || header.nz <= 0)
        return false;
    if (!coversShape(cube, std::size_t(header.nz), std::size_t(header.ny), std::size_t(header.nx))
        || cube.size() != std::size_t(header.nz) || cube[0].size() != std::size_t(header.ny)
        || cube[0][0].size() != std::size_t(header.nx))
        return false;
    for (int i = 0; i < 6; ++i)
        if (!sameNode(header.bounds[i], bounds[i]))
            return false;
    return true;
}
