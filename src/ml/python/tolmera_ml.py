"""Shared parts of Tolmera3D's density regression scripts (code.py, code2.py).

Train file: a text table, one sample per line, five numbers separated by
blanks, commas, semicolons or tabs, in this order:

    Vp (m/s)   depth (m)   Vs (m/s)   layer index   density (g/cm3)

The layer index counts layers from 1 (the layer below the first horizon), as
the program numbers them in the feature file. Columns of features the model
lacks may hold anything (zeros, say). A first line that does not read as
numbers is taken as a header; empty lines and lines starting with '#' are
skipped.

A feature takes part in the regression when the program asks for it (Vp, Vs
and layer index come as flags; depth is always asked for) and its train column
is not constant: a constant column carries nothing to learn from.
"""

import re

FEATURES = ("Vp", "depth", "Vs", "layer")  # train file columns 0..3
MIN_SAMPLES = 5                            # five-fold cross-validation

_SEPARATORS = re.compile(r"[ ,;\t]+")


class TrainFileError(Exception):
    pass


def read_train_file(path):
    """Returns the train table as a float array of shape (samples, 5)."""
    import numpy as np

    rows = []
    try:
        with open(path, "r", encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, start=1):
                text = line.strip()
                if not text or text.startswith("#"):
                    continue
                parts = [p for p in _SEPARATORS.split(text) if p]
                try:
                    values = [float(p) for p in parts]
                except ValueError:
                    if not rows:
                        continue  # a header line
                    raise TrainFileError("line %d: not a number" % number)
                if len(values) < 5:
                    raise TrainFileError("line %d: five columns expected" % number)
                rows.append(values[:5])
    except OSError as e:
        raise TrainFileError(str(e))
    if len(rows) < MIN_SAMPLES:
        raise TrainFileError("at least %d samples are needed" % MIN_SAMPLES)
    table = np.array(rows, dtype=float)
    if not np.all(np.isfinite(table)):
        raise TrainFileError("values that are not finite")
    return table


def used_features(table, use_vp, use_vs, use_idx):
    """Which of Vp, depth, Vs, layer index take part, as four booleans."""
    asked = (use_vp, True, use_vs, use_idx)
    used = []
    for column, wanted in enumerate(asked):
        values = table[:, column]
        used.append(bool(wanted) and float(values.max() - values.min()) > 0.0)
    return tuple(used)


def make_model(kind):
    """The regression behind each regression type of the dialog's list."""
    from sklearn.ensemble import GradientBoostingRegressor, RandomForestRegressor
    from sklearn.linear_model import ElasticNet, LinearRegression, Ridge
    from sklearn.pipeline import make_pipeline
    from sklearn.preprocessing import StandardScaler

    if kind == 0:    # gradient-boosted trees
        return GradientBoostingRegressor(random_state=0)
    if kind == 1:    # stochastic boosting: each tree sees a random part of the samples
        return GradientBoostingRegressor(subsample=0.7, random_state=0)
    if kind == 2:    # boosted linear terms amount to a lightly penalised linear model
        return make_pipeline(StandardScaler(), Ridge(alpha=1e-3))
    if kind == 3:
        return RandomForestRegressor(n_estimators=100, random_state=0)
    if kind == 5:
        return make_pipeline(StandardScaler(), ElasticNet(alpha=1e-4, l1_ratio=0.5, max_iter=10000))
    return LinearRegression()  # 4 and anything unknown


def parse_flag(text):
    try:
        return int(float(text)) != 0
    except ValueError:
        return False


def parse_int(text):
    try:
        return int(float(text))
    except ValueError:
        return 0
