#!/usr/bin/env bash
# The library exports its public names and nothing of the platform it runs on.
set -euo pipefail
lib="$1"
# Weak instantiations of standard-library templates (std::vector growth for
# the host's inline lists) are emitted with default visibility by the
# standard headers themselves; they are not names of the library or of the
# platform, and the dynamic linker keeps one copy of each.
# The AddressSanitizer build adds one "__odr_asan." marker per exported
# global; they belong to the instrumentation, not to the library.
# An unoptimised build also emits helpers whose demangled return type is a
# "decltype (...)" expression in front of their std:: name.
symbols=$(nm -DC --defined-only "$lib" |
          grep -vE '^[0-9a-f]+ [WVu] (decltype \(.*\) )?([^(]* )?std::' |
          grep -vE '^[0-9a-f]+ [A-Za-z] __odr_asan\.' |
          sed -E 's/^[0-9a-f]+ [A-Za-z] //')
status=0
for required in 'Tra_DYNBase' 'Tra_DYNDev' 'Tra_DYNError' \
                'VOKDYNGetTraceState(char const*)' 'VOKDYNSetTraceState(int, char const*)' \
                'typeinfo for VOKListPtrVOKIDYNModulation' \
                'typeinfo for VOKDYNDampingTools'; do
  if ! grep -qxF "$required" <<<"$symbols"; then
    echo "missing export: $required"; status=1
  fi
done
# Every exported name belongs to the library: its classes, functions and channels.
own='^((typeinfo|typeinfo name|vtable|VTT|construction vtable) for )?(VOKDYN|VOKListPtrVOKIDYNModulation|DYNReadCaracSet|Tra_DYN)'
foreign=$(grep -vE "$own" <<<"$symbols" || true)
if [ -n "$foreign" ]; then
  echo "exports that are not the library's own:"; echo "$foreign"; status=1
fi
exit $status
