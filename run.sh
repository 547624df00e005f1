#!/usr/bin/env bash
# Installs what is missing, builds in build/ and starts Tolmera3D.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh -DTOLMERA_BUILD_TESTS=ON
# "python" for the machine-learning process: the system interpreter with scikit-learn.
mkdir -p build/pybin
ln -sf /usr/bin/python3 build/pybin/python
export PATH="$PWD/build/pybin:$PATH"
exec ./build/src/app/Tolmera3D "$@"
