"""Tolmera3D: trains a density regression and reports how well it fits.

    python code.py TRAIN_FILE REGRESSION USE_VP USE_VS USE_IDX

Prints on standard output, separated by single blanks:
    status (0 trained, 1 error in the train file, 2 libraries missing),
    four flags: Vp, depth, Vs, layer index taking part (1) or not (0),
    five cross-validation scores (negated mean squared error of the density),
    N, the number of train samples,
    then per sample: Vp depth Vs layer density predicted-density,
the prediction of each sample coming from the folds that did not see it.
A status other than 0 is followed by ten zeros; the reason goes to the error
stream. The train file's layout is described in tolmera_ml.py.
"""

import sys


def report_failure(status, reason):
    print(" ".join([str(status)] + ["0"] * 10), flush=True)
    sys.stderr.write(reason + "\n")
    sys.exit(1)


def main(argv):
    try:
        import numpy as np
        from sklearn.model_selection import KFold, cross_val_predict, cross_val_score
        import tolmera_ml as ml
    except ImportError as e:
        report_failure(2, "Please install python ML libraries (numpy, scikit-learn): %s" % e)

    if len(argv) < 6:
        report_failure(1, "usage: code.py TRAIN_FILE REGRESSION USE_VP USE_VS USE_IDX")
    try:
        table = ml.read_train_file(argv[1])
    except ml.TrainFileError as e:
        report_failure(1, "Error in train file: %s" % e)

    kind = ml.parse_int(argv[2])
    used = ml.used_features(table, ml.parse_flag(argv[3]), ml.parse_flag(argv[4]), ml.parse_flag(argv[5]))
    if not any(used):
        report_failure(1, "Error in train file: no feature varies")
    columns = [i for i in range(4) if used[i]]
    x = table[:, columns]
    y = table[:, 4]

    folds = KFold(n_splits=5, shuffle=True, random_state=0)
    model = ml.make_model(kind)
    scores = cross_val_score(model, x, y, cv=folds, scoring="neg_mean_squared_error")
    predicted = cross_val_predict(model, x, y, cv=folds)

    tokens = ["0"] + ["1" if u else "0" for u in used]
    tokens += ["%.10g" % s for s in scores]
    tokens.append(str(len(y)))
    lines = [" ".join(tokens)]
    for row, p in zip(table, predicted):
        lines.append("%.10g %.10g %.10g %d %.10g %.10g" % (row[0], row[1], row[2], int(round(row[3])), row[4], p))
    sys.stdout.write("\n".join(lines) + "\n")
    sys.stdout.flush()
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except SystemExit:
        raise
    except Exception as e:  # anything unforeseen: the program reads it as a train file error
        report_failure(1, "Error in train file: %s" % e)
