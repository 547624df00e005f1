#pragma once
// The window of the vertical section along a line drawn on the plan: a plan
// map with the model outline, the profile scheme, the fault traces and the
// line; the section of one cube along the line with the horizons and the
// fault crossings over it; and the field profiles along the same line. The
// dialog samples nothing itself: every redraw of its line emits
// coordsSelected, and the main window's extraction sends the sections back
// through the setters below. It exports everything it holds as BLN profiles
// and Surfer grids named after one base name.

#include "views/section_core.h"

#include <QDialog>
#include <QString>
#include <QVector3D>
#include <qcustomplot.h>

#include <array>
#include <optional>
#include <vector>

namespace Ui {
class HorizontalSliceDialog;
}

class QResizeEvent;

class HorizontalSliceDialog : public QDialog
{
    Q_OBJECT

public:
    explicit HorizontalSliceDialog(QWidget* parent = nullptr);
    ~HorizontalSliceDialog() override;

    // 0 Russian, anything else English: sets every text of the form.
    void setLanguage(int lang);
    // The section's colours and the density colour range.
    void setGradient(QCPColorGradient gradient, double min, double max);
    // x first, x last, y first, y last of the model's nodes: the outline on the map.
    void setModelBounds(double x_first, double x_last, double y_first, double y_last);
    // Writes the line into the fields (six significant digits) and redraws
    // it, which asks for a new extraction.
    void setLineCoordinates(double x_start, double x_end, double y_start, double y_end, double step);
    // Current index of the depth-sign box (0 negative depths, 1 positive).
    void setDepthType(int type);

    // The line that the sections, the fault crossings and the export describe:
    // the last line drawn that the extraction did not refuse. False before
    // the first one.
    bool sampledLine(double& x_start, double& x_end, double& y_start, double& y_end, double& step) const;
    // Called by the extraction, while the line being drawn is announced, when
    // it refuses that line: the fields and the red line go back to the last
    // sampled line (the fields keep what was typed when there is none yet).
    void refuseLine();

    // Writes one polyline of the points (x[i], sign * values[i]); nothing is
    // written (and false returned) unless path is not empty and x and values
    // hold the same number of points, at least one. A failed write leaves any
    // earlier file in place.
    bool writeSectionBln(QString path, std::vector<double>& x, std::vector<double>& values, int sign);
    // Writes every crossing polyline, each point as (distance, sign * depth);
    // false when path is empty, there is nothing to write or the write failed.
    bool writeFaultCrossingsBln(QString path, std::vector<section::Crossing>& crossings, int sign);

    // What the dialog holds (read by the export and by tests).
    int language() const { return lang; }
    int sliceType() const { return slice_type; }
    const std::vector<std::vector<double>>& densitySection() const { return sections[0].values; }
    const std::vector<double>& densityParams() const { return sections[0].params; }
    const std::vector<std::vector<double>>& horizonDepths() const { return hor_depths; }
    const std::vector<double>& calculatedProfile() const { return Vz_calc; }
    const std::vector<double>& observedProfile() const { return Vz_obs; }
    const std::vector<double>& residualProfile() const { return Vz_resid; }
    const std::vector<section::Crossing>& faultCrossings() const { return fault_crossings; }
    const section::Sticks& sortedFaults() const { return faults; }
    QCustomPlot* mapPlot() const;
    QCustomPlot* sectionPlot() const;
    QCustomPlot* profilePlot() const;
    QCPColorScale* sectionColorScale() const { return color_scale; }

signals:
    // Every redraw of the line: start x, end x, start y, end y, step.
    void coordsSelected(double xmin, double xmax, double ymin, double ymax, double dxy);
    // One section grid to write as a Surfer 7 grid; the receiver returns why
    // the file was not written, or an empty text when it was (and reports
    // nothing itself: the export names every file it could not write in one
    // message).
    QString saveSRF(QString dir, std::vector<std::vector<double>>& grd, std::vector<double>& params);
    // A change of the depth-sign box.
    void dirChanged(int dir);
    // Takes the place of the widget's resize handler.
    void resizeEvent(QResizeEvent* event);
    // Declared for the main window's connections; nothing emits it.
    void saveBLN(QString dir, std::vector<double>& x, std::vector<double>& y);

public slots:
    // Sections of the cubes [level][sample] with their distances and level
    // depths; a section without samples or levels keeps the previous one.
    void setDensitySlice(std::vector<std::vector<double>>& dens, std::vector<double>& x_coords,
                         std::vector<double>& z_coords);
    void setVpSlice(std::vector<std::vector<double>>& Vp, std::vector<double>& x_coords,
                    std::vector<double>& z_coords, double min_Vp, double max_Vp);
    void setVsSlice(std::vector<std::vector<double>>& Vs, std::vector<double>& x_coords,
                    std::vector<double>& z_coords, double min_Vs, double max_Vs);
    void setRegSlice(std::vector<std::vector<double>>& R, std::vector<double>& x_coords,
                     std::vector<double>& z_coords, double min_R, double max_R);
    // Depths of horizons 1 .. n - 1 along the line.
    void setHorizonsDepths(std::vector<std::vector<double>>& depths, std::vector<double>& x_coords);
    // Field profiles; the residual also sets the RMSE label.
    void setVzCalcSlice(std::vector<double>& Vz, std::vector<double>& x_coords);
    void setVzObsSlice(std::vector<double>& Vz, std::vector<double>& x_coords);
    void setVzResidSlice(std::vector<double>& Vz, std::vector<double>& x_coords);
    void plotVz();
    // The profile scheme: interleaved x, y per polyline.
    void setProfiles(std::vector<std::vector<double>>& coords);
    // The fault sticks [fault][stick][point] and one name per fault.
    void setFaults(std::vector<std::vector<std::vector<QVector3D>>>& sticks, std::vector<QString>& names);

    void replotProfile();
    void redrawLine(double x_start, double x_end, double y_start, double y_end, double step);
    void plotCube();
    void plotProfiles();
    void plotFaultsOnMap();
    void plotDenSlice();
    void plotHorizons();
    void calcIntersectedFaults();
    void plotFaultsOnSlice();
    void showDens();
    void showVp();
    void showVs();
    void showR();
    void plottableClick(QCPAbstractPlottable* plottable, int dataIndex, QMouseEvent* event);
    void resizeSlot(QResizeEvent* event);

private slots:
    void on_setCoordinates_clicked();
    void on_importCoordinates_clicked();
    void on_setCoordsFromProfile_clicked();
    void on_saveSlice_clicked();
    void on_densitySlice_customContextMenuRequested(QPoint pos);
    void on_depthType_currentIndexChanged(int index);

private:
    // One cube's section: [level][sample], distances, level depths,
    // slice_params and colour range.
    struct CubeSection
    {
        std::vector<std::vector<double>> values;
        std::vector<double> x, z, params;
        double min = 0, max = 1;
    };
    // A line of the section: start x, end x, start y, end y, step.
    struct Line
    {
        double xs = 0, xe = 0, ys = 0, ye = 0, step = 0;
    };
    void keepSection(int type, std::vector<std::vector<double>>& s, std::vector<double>& x,
                     std::vector<double>& z);
    // The outline, the profiles, the fault traces and, when given, the red
    // line on the map.
    void drawMap(const std::optional<Line>& line);
    void showType(int type);
    QString sectionLabel(int type) const;
    void lineFromFields(double& xs, double& xe, double& ys, double& ye) const;

    Ui::HorizontalSliceDialog* ui;
    int lang = 0;
    int slice_type = 1;
    std::array<double, 4> outline_bounds{{0, 1, 0, 1}};
    std::vector<std::vector<double>> profiles;
    std::array<CubeSection, 4> sections;  // density, Vp, Vs, regularizer
    QCPColorGradient gradient{QCPColorGradient::gpJet};
    std::vector<std::vector<double>> hor_depths;
    std::vector<double> hor_x;
    std::vector<double> Vz_calc, Vz_calc_x;
    std::vector<double> Vz_obs, Vz_resid, Vz_x;
    section::Sticks faults;
    std::vector<QString> fault_names;
    std::vector<section::Crossing> fault_crossings;
    std::optional<Line> sampled_line;   // see sampledLine()
    std::optional<Line> previous_line;  // while a new line is announced
    QCPColorScale* color_scale = nullptr;
    QCPMarginGroup* margin_group = nullptr;
};
