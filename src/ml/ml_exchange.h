#pragma once
// What the program exchanges with the external machine-learning scripts:
// where the scripts and exchange files are, the arguments of both scripts,
// how their printed output is read, and the feature file that describes every
// cell of the model for the prediction. Qt Core only.
//
// Training:   python <bin>/code.py  TRAIN REGRESSION VP VS IDX
// Prediction: python <bin>/code2.py TRAIN <bin>/xdata.bin <bin>/res.3Dgrd REGRESSION VP VS IDX
// with <bin> the folder "bin" beside the executable and the flags 0 or 1.

#include "common/types.h"
#include "formats/codec_status.h"
#include "formats/cube_file.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class QIODevice;

// ---- Locations

// The folder of the scripts and the exchange files: the application
// directory followed by "/bin", unless setMlBinDir gave another one.
QString mlBinDir();
// Replaces the folder (tests run in a folder of their own so that two runs
// never share exchange files); an empty text restores the default.
void setMlBinDir(const QString& dir);

QString mlTrainScriptPath();    // "code.py"
QString mlPredictScriptPath();  // "code2.py"
QString mlFeatureFilePath();    // "xdata.bin": the cells and their features
QString mlResultFilePath();     // "res.3Dgrd": the predicted cube
QString mlScratchFilePath();    // "pred.txt"

// The interpreter the scripts run in, found on the search path.
QString mlInterpreter();

QStringList mlTrainArguments(const QString& train_file, int regression, bool use_Vp, bool use_Vs,
                             bool use_Idx);
QStringList mlPredictArguments(const QString& train_file, int regression, bool use_Vp, bool use_Vs,
                               bool use_Idx);

// ---- Training output
//
// Read as one UTF-8 text cut at every single blank, comma, tab or line feed,
// empty pieces kept (two separators in a row shift every later position):
//   0 status (0 trained, 1 train file error, 2 libraries missing)
//   1..4 Vp, depth, Vs, layer index used (non-zero = used)
//   5..9 cross-validation scores (negated mean squared error)
//   10 N, then per sample: Vp, depth, Vs, layer index, density, predicted density
struct MlTrainOutput
{
    enum class Kind {
        Unreadable,        // fewer than 9 tokens, or a status that is no integer
        Trained,           // status 0
        TrainFileError,    // status 1
        LibrariesMissing,  // status 2
        OtherStatus        // any other status
    };
    Kind kind = Kind::Unreadable;
    int status = 0;
    // Status 0 only:
    bool vp = false, depth = false, vs = false, layer_index = false;
    double scores[5] = {0, 0, 0, 0, 0};
    int announced = 0;  // N as printed
    // The samples actually present (at most N, never past the tokens).
    QVector<double> vp_vec, h_vec, vs_vec, dens_vec, dens_pred_vec;
    QVector<int> ind;
};

QStringList mlTrainTokens(const QByteArray& output);
MlTrainOutput parseMlTrainOutput(const QByteArray& output);
// "Cross Validation RMSE scores: 5: r0; 6: r1; ... 9: r4; " with ri the square
// root of minus score i, four decimals.
QString mlScoreText(const double (&scores)[5]);

// ---- Prediction output
//
// Cut at every blank, comma, tab, carriage return or line feed, empty pieces
// dropped. Token 2 reads 3 and token 4 reads 5 (five tokens at least): done;
// otherwise token 2 reading 100: the layer counts of train set and model differ.
enum class MlPredictVerdict { Success, LayerCountsDiffer, Failed };

QStringList mlPredictTokens(const QByteArray& output);
MlPredictVerdict judgeMlPredictOutput(const QByteArray& output);

// ---- Feature file
//
// QDataStream defaults (big-endian): int32 nx, ny, nz; doubles x first, x last,
// y first, y last, z first, z last; then nz*ny*nx records (level outermost,
// column innermost) of four doubles: depth, Vp, Vs, layer number, each 0 when
// its feature is not used. 60 + 32 * cells bytes.

constexpr int ml_feature_header_size = 60;
constexpr int ml_feature_record_size = 32;

// A cube with its own nodes; an empty cube pointer or cube means "not loaded".
struct MlCubeRef
{
    const vector3D* cube = nullptr;
    const std::vector<double>* x = nullptr;
    const std::vector<double>* y = nullptr;
    const std::vector<double>* z = nullptr;
    bool loaded() const { return cube && !cube->empty(); }
};

struct MlFeatureHeader
{
    qint32 nx = 0, ny = 0, nz = 0;
    cube_bounds bounds{};
};

enum class MlFeatureStatus {
    Written,
    NoSource,       // no cube gives the geometry
    ShapeMismatch,  // a feature cube, the horizons or the nodes do not cover the source
    WriteFailed,
    Cancelled       // stopped through the progress callback
};

// The cube whose geometry the file follows: Vp when used, else Vs when used,
// else the density grid; nullptr-cube when none applies.
MlCubeRef ml_feature_source(const MlCubeRef& den, const MlCubeRef& vp, const MlCubeRef& vs, bool use_Vp,
                            bool use_Vs);

// Layer of depth z at a node, counted from 1 (the layer below horizon 0): m + 1
// for the first m with horizon m <= z < horizon m + 1, otherwise the horizon
// count.
int ml_layer_number(const std::vector<field2D>& horizons, std::size_t row, std::size_t column, double z);

// Writes the feature file to out (open for writing). progress gets the
// percentage of levels done before each level. *header, when given, receives
// the header written.
MlFeatureStatus write_ml_feature_file(QIODevice& out, const MlCubeRef& den, const MlCubeRef& vp,
                                      const MlCubeRef& vs, const std::vector<field2D>& horizons, bool use_H,
                                      bool use_Vp, bool use_Vs, bool use_Idx,
                                      const CodecProgress& progress = CodecProgress(),
                                      MlFeatureHeader* header = nullptr);

// Reads the header of a feature file; false when it is missing or short.
bool read_ml_feature_header(const QString& path, MlFeatureHeader& header);

// True when a result cube (its counts and first and last nodes) lies on the
// lattice of the feature file it was predicted from.
bool ml_result_fits(const MlFeatureHeader& header, const vector3D& cube, const cube_bounds& bounds);
