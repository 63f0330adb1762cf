#!/usr/bin/env bash
# The three-command workflow on a solid cantilever: the finite-element
# solver's modes, the import, the harmonic response with its fields; then a
# picture of the operating deflection shape at the first peak.
#
#   bash examples/calculix-cantilever/run.sh [WORK_DIR]
#
# Needs ccx (Debian package calculix-ccx), the built vokdyn (build/bin, or
# VOKDYN=path), and for the picture python3-vtk9 and xvfb.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
vokdyn=${VOKDYN:-$here/../../build/bin/vokdyn}
work=${1:-$(mktemp -d)}
mkdir -p "$work"
cp "$here/cantilever.inp" "$work/"
cd "$work"

# 1. The modes: ten eigenvalues, the eigenvectors in cantilever.frd.
ccx cantilever > ccx.log
# 2. The model: nodes, elements, node sets, modes; shapes in cantilever.npy.
#    A unit force and the output at the free end's corner node 203, along y.
"$vokdyn" import calculix cantilever -o cantilever.json --load 203:UY --response 203:UY
# 3. The response over the model's sweep, and every node's at each peak.
"$vokdyn" harmonic cantilever.json -o response.csv --fields fields

xvfb-run -a -s "-screen 0 1280x1024x24" \
  /usr/bin/python3 "$here/../../scripts/render_field.py" fields/fields_0001.vtu field.png
echo "results in $work: cantilever.json, response.csv, fields/fields.pvd (open it in ParaView), field.png"
