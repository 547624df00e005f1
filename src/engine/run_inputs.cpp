#include "engine/run_inputs.h"

#include "app/texts.h"
#include "common/grid_helpers.h"

namespace {

const char* const unchanged_ru = " Расчёт не запущен, модель не изменена.";
const char* const unchanged_en = " The run was not started; the model is unchanged.";

QString cube_text(const NonFiniteCells& c, const QString& grid, int language)
{
    return byLanguage(language,
                      "%1 содержит значения, не являющиеся конечными числами (NaN или бесконечность): %2 ячеек, "
                      "первая — уровень %3, строка %4, столбец %5.",
                      "%1 holds values that are not finite numbers (NaN or infinity): %2 cells, the first at "
                      "level %3, row %4, column %5.")
               .arg(grid)
               .arg(c.count)
               .arg(c.level + 1)
               .arg(c.row + 1)
               .arg(c.column + 1)
           + byLanguage(language, unchanged_ru, unchanged_en);
}

QString map_text(const NonFiniteCells& c, const QString& grid, int language)
{
    return byLanguage(language,
                      "%1 содержит значения, не являющиеся конечными числами (NaN или бесконечность): %2 узлов, "
                      "первый — строка %3, столбец %4.",
                      "%1 holds values that are not finite numbers (NaN or infinity): %2 nodes, the first at "
                      "row %3, column %4.")
               .arg(grid)
               .arg(c.count)
               .arg(c.row + 1)
               .arg(c.column + 1)
           + byLanguage(language, unchanged_ru, unchanged_en);
}

}  // namespace

QString non_finite_input_text(const RunInputs& inputs, int language)
{
    if (inputs.density) {
        const NonFiniteCells c = non_finite_cells(*inputs.density);
        if (c.any())
            return cube_text(c, byLanguage(language, "3D грид плотности", "The 3D density grid"), language);
    }
    if (inputs.observed) {
        const NonFiniteCells c = non_finite_cells(*inputs.observed);
        if (c.any())
            return map_text(c, byLanguage(language, "Наблюденное поле", "The observed field"), language);
    }
    if (inputs.horizons) {
        for (std::size_t n = 0; n < inputs.horizons->size(); ++n) {
            const NonFiniteCells c = non_finite_cells((*inputs.horizons)[n]);
            if (c.any())
                return map_text(c, byLanguage(language, "Горизонт %1", "Horizon %1").arg(n + 1), language);
        }
    }
    if (inputs.regularizer) {
        const NonFiniteCells c = non_finite_cells(*inputs.regularizer);
        if (c.any())
            return cube_text(c, byLanguage(language, "Регуляризатор", "The regularizer"), language);
    }
    return QString();
}
